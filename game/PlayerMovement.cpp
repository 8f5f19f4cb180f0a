// Movement of TServerPlayerManager: key handling and the per-tick update. Game manager thread.
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "game/Players.h"
#include "platform/Clock.h"
#include "protocol/MessageCodes.h"
#include "protocol/ZQProtocol.h"

namespace zq {

namespace {

const float WALK_SPEED = std::bit_cast<float>(0x3B83126Fu);  // 0.004 tiles per ms

// Nearest integer, halves to even (the default rounding mode), kept inside int32.
int32_t RoundTile(double v) {
  double r = std::nearbyint(v);
  if (!(r >= std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
  if (r > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(r);
}

void PutU64(std::string& s, uint64_t v) {
  PutU32(s, static_cast<uint32_t>(v));
  PutU32(s, static_cast<uint32_t>(v >> 32));
}

}  // namespace

std::string TServerPlayerManager::PlayerMotionPayload(const PlayerRecord& p) {
  std::string s;
  s.reserve(45);
  PutU32(s, p.GUID);
  PutU16(s, p.ClientCode);
  PutU16(s, p.X);
  PutU16(s, p.Y);
  PutU8(s, p.StateByte);
  PutU8(s, p.Facing);
  PutU8(s, p.MoveFlags);
  PutU32(s, 0);
  PutU64(s, std::bit_cast<uint64_t>(p.DirX));
  PutU64(s, std::bit_cast<uint64_t>(p.DirY));
  PutU16(s, static_cast<uint16_t>(p.StopX));
  PutU16(s, static_cast<uint16_t>(p.StopY));
  PutU32(s, std::bit_cast<uint32_t>(p.Speed));
  PutU32(s, FTimer.NextStepTime(MOVE_STEP_RATE));
  return s;
}

void TServerPlayerManager::HandleKey(int32_t socketId, uint32_t type, const MSKey& key) {
  PlayerRecord* p = BySocketGuid(socketId);
  if (!p) return;
  const bool down = type == KeyDown;
  const uint8_t keyNum = key.Bytes[1];
  p->Keys[keyNum] = down ? 1 : 0;

  double dx = 0, dy = 0;
  if (p->Keys[1]) dy -= 1;
  if (p->Keys[2]) dy += 1;
  if (p->Keys[3]) dx -= 1;
  if (p->Keys[4]) dx += 1;
  if (p->Keys[6]) {
    const uint16_t tx = static_cast<uint16_t>(key.Bytes[2] | key.Bytes[3] << 8);
    const uint16_t ty = static_cast<uint16_t>(key.Bytes[4] | key.Bytes[5] << 8);
    dx = static_cast<int32_t>(tx) - static_cast<int32_t>(p->X);
    dy = static_cast<int32_t>(ty) - static_cast<int32_t>(p->Y);
  }

  if (std::nearbyint(dy) != 0 && std::fabs(dx / dy) <= 0.8) {
    if (dy > 0.9) p->Facing = 8;
    if (dy < -0.9) p->Facing = 2;
  } else {
    if (dx > 0.9) p->Facing = 1;
    if (dx < -0.9) p->Facing = 4;
  }

  if (std::fabs(dx) > 0.9 || std::fabs(dy) > 0.9) {
    const double len = std::sqrt(dx * dx + dy * dy);
    p->Speed = WALK_SPEED;
    p->DirX = dx / len;
    p->DirY = dy / len;
    p->MoveFlags |= MOVE_FLAG_MOVING;
  } else {
    p->Speed = 0;
    p->MoveFlags &= static_cast<uint8_t>(~MOVE_FLAG_MOVING);
  }
  p->StopX = 0;
  p->StopY = 0;
  p->LastMove = FTimer.NextStepTime(MOVE_STEP_RATE);

  const uint32_t guid = p->GUID;
  SendToNearby(guid, MakeServerMessage(PlayerMotion, guid, -1, PlayerMotionPayload(*p)), true);

  std::string ack;
  PutU8(ack, keyNum);
  ack.append(reinterpret_cast<const char*>(key.Bytes.data()) + 10, 4);
  Post(down ? KeyDownAck : KeyUpAck, guid, -1, std::move(ack));
}

void TServerPlayerManager::UpdatePlayers() {
  const uint32_t now = FTimer.NextStepTime(MOVE_STEP_RATE);
  ForEachPlayer([&](PlayerRecord& player) {
    PlayerRecord* p = &player;
    if (!(p->MoveFlags & MOVE_FLAG_MOVING)) return;
    const uint32_t dt = now - p->LastMove;
    const double speed = p->Speed;
    double cx = p->PosX + p->DirX * speed * static_cast<double>(dt);
    const double cy = p->PosY + p->DirY * speed * static_cast<double>(dt);
    if (!FMap.IsBlockedX(p->X, p->Y, RoundTile(cx), RoundTile(cy)))
      p->PosX = cx;
    else
      cx = p->PosX;
    if (!FMap.IsBlockedY(p->X, p->Y, RoundTile(cx), RoundTile(cy))) p->PosY = cy;
    const uint16_t x = static_cast<uint16_t>(RoundTile(p->PosX));
    const uint16_t y = static_cast<uint16_t>(RoundTile(p->PosY));
    if (x != p->X || y != p->Y) ++FRevision;
    p->X = x;
    p->Y = y;
    if (p->StopX == static_cast<int32_t>(p->X)) p->DirX = 0;
    if (p->StopY == static_cast<int32_t>(p->Y)) p->DirY = 0;
    p->LastMove = now;
  });
}

}  // namespace zq
