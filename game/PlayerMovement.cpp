// Movement of TServerPlayerManager: key handling and the per-tick update. Game manager thread.
#include <bit>
#include <cmath>
#include <limits>

#include "game/Players.h"
#include "protocol/MessageCodec.h"
#include "protocol/MessageCodes.h"

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

}  // namespace

std::string TServerPlayerManager::PlayerMotionPayload(const PlayerRecord& p) {
  TPlayerMotionFields f;
  f.GUID = p.GUID;
  f.ClientCode = p.ClientCode;
  f.X = p.X;
  f.Y = p.Y;
  f.StateByte = p.StateByte;
  f.Facing = p.Facing;
  f.MoveFlags = p.MoveFlags;
  f.DirX = p.DirX;
  f.DirY = p.DirY;
  f.StopX = p.StopX;
  f.StopY = p.StopY;
  f.Speed = p.Speed;
  f.GameTime = timer_.NextStepTime(MOVE_STEP_RATE);
  return EncodePlayerMotion(f);
}

void TServerPlayerManager::HandleKey(int32_t socketId, uint32_t type, const MSKey& key) {
  PlayerRecord* p = BySocketGuid(socketId);
  if (!p) return;
  const bool down = type == KeyDown;
  p->Keys[key.Key()] = down ? 1 : 0;

  double dx = 0, dy = 0;
  if (p->Keys[KEY_MINUS_Y]) dy -= 1;
  if (p->Keys[KEY_PLUS_Y]) dy += 1;
  if (p->Keys[KEY_MINUS_X]) dx -= 1;
  if (p->Keys[KEY_PLUS_X]) dx += 1;
  if (p->Keys[KEY_TARGET]) {
    dx = static_cast<int32_t>(key.TargetX()) - static_cast<int32_t>(p->X);
    dy = static_cast<int32_t>(key.TargetY()) - static_cast<int32_t>(p->Y);
  }

  // Mostly vertical motion faces along y; a diagonal (|dx / dy| = 1) faces along x.
  if (std::nearbyint(dy) != 0 && std::fabs(dx / dy) <= 0.8) {
    if (dy > 0.9) p->Facing = FACING_PLUS_Y;
    if (dy < -0.9) p->Facing = FACING_MINUS_Y;
  } else {
    if (dx > 0.9) p->Facing = FACING_PLUS_X;
    if (dx < -0.9) p->Facing = FACING_MINUS_X;
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
  p->LastMove = timer_.NextStepTime(MOVE_STEP_RATE);

  const uint32_t guid = p->GUID;
  SendToNearby(guid, MakeServerMessage(PlayerMotion, guid, -1, PlayerMotionPayload(*p)), true);
  Post(down ? KeyDownAck : KeyUpAck, *p, EncodeKeyAck(key.Key(), key.ClientValue()));
}

void TServerPlayerManager::Advance(PlayerRecord& p, uint32_t ms) {
  const double speed = p.Speed;
  double cx = p.PosX + p.DirX * speed * static_cast<double>(ms);
  const double cy = p.PosY + p.DirY * speed * static_cast<double>(ms);
  if (!map_.IsBlockedX(p.X, p.Y, RoundTile(cx), RoundTile(cy)))
    p.PosX = cx;
  else
    cx = p.PosX;
  if (!map_.IsBlockedY(p.X, p.Y, RoundTile(cx), RoundTile(cy))) p.PosY = cy;
  const uint16_t x = static_cast<uint16_t>(RoundTile(p.PosX));
  const uint16_t y = static_cast<uint16_t>(RoundTile(p.PosY));
  if (x != p.X || y != p.Y) ++revision_;
  p.X = x;
  p.Y = y;
  if (p.StopX == static_cast<int32_t>(p.X)) p.DirX = 0;
  if (p.StopY == static_cast<int32_t>(p.Y)) p.DirY = 0;
}

void TServerPlayerManager::UpdatePlayers() {
  const uint32_t now = timer_.NextStepTime(MOVE_STEP_RATE);
  ForEachPlayer([&](PlayerRecord& p) {
    if (!(p.MoveFlags & MOVE_FLAG_MOVING)) return;
    // A step at a time, so that no walk, however late, passes a blocking tile.
    uint32_t dt = now - p.LastMove;
    if (static_cast<int32_t>(dt) < 0) dt = 0;  // a last move ahead of the clock moves nothing
    for (uint32_t steps = 0; dt > 0 && steps < MAX_CATCH_UP_STEPS; ++steps) {
      const uint32_t ms = std::min(dt, MOVE_STEP_MS);
      Advance(p, ms);
      dt -= ms;
    }
    p.LastMove = now;
  });
}

}  // namespace zq
