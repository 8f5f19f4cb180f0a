#include "game/Players.h"

#include <cstdlib>
#include <utility>

#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/Errors.h"
#include "protocol/MessageCodes.h"
#include "protocol/ZQProtocol.h"

namespace zq {

namespace {
constexpr const char* kModule = "Players";
}

GameMessagePtr MakeServerMessage(uint32_t type, uint32_t guid, int32_t targetSocket,
                                 std::string_view payload) {
  auto m = std::make_unique<GameMessage>();
  m->SocketID = -1;
  m->GUID = guid;
  m->TargetSocketID = targetSocket;
  m->MsgType = type;
  m->SetData(payload);
  return m;
}

TServerPlayerManager::TServerPlayerManager(TGUIDManager& guids, TGameTimer& timer,
                                           TGameMessenger& dispatchQueue,
                                           const TSocketTable& sockets, const IBlockingMap& map,
                                           int32_t spawnX, int32_t spawnY)
    : FGuids(guids),
      FTimer(timer),
      FDispatch(dispatchQueue),
      FSockets(sockets),
      FMap(map),
      FSpawnX(static_cast<uint16_t>(spawnX)),
      FSpawnY(static_cast<uint16_t>(spawnY)) {}

const PlayerRecord* TServerPlayerManager::Player(int32_t slot) const {
  if (slot < 0 || slot >= MAX_PLAYERS) return nullptr;
  return FPlayers[slot].get();
}

int32_t TServerPlayerManager::getNumfromGUID(uint32_t guid) const {
  for (int32_t i = 0; i < MAX_PLAYERS; ++i)
    if (FPlayers[i] && FPlayers[i]->GUID == guid) return i;
  ConsoleLine("getNumfromGUID: player GUID (" + std::to_string(guid) + ") not found in FPlayers");
  return MAX_PLAYERS;
}

PlayerRecord* TServerPlayerManager::BySocketGuid(int32_t socketId) {
  uint32_t guid = (socketId >= 1 && socketId <= NOT_FOUND) ? FSockets.GuidOf(socketId) : 0;
  int32_t s = getNumfromGUID(guid);
  return s == MAX_PLAYERS ? nullptr : FPlayers[s].get();
}

bool TServerPlayerManager::WithinView(const PlayerRecord& a, const PlayerRecord& b) {
  return std::abs(static_cast<int32_t>(a.X) - static_cast<int32_t>(b.X)) <= VIEW_RANGE_X &&
         std::abs(static_cast<int32_t>(a.Y) - static_cast<int32_t>(b.Y)) <= VIEW_RANGE_Y;
}

void TServerPlayerManager::Post(uint32_t type, uint32_t guid, int32_t targetSocket,
                                std::string payload) {
  PostToDispatch(MakeServerMessage(type, guid, targetSocket, payload));
}

void TServerPlayerManager::PostToDispatch(GameMessagePtr message) {
  // A busy dispatch thread holds this thread back for a moment rather than lose messages.
  FDispatch.WaitForRoom(1, DISPATCH_ROOM_WAIT_MS);
  FDispatch.Push(std::move(message));
}

std::string TServerPlayerManager::PlayerInfoPayload(const PlayerRecord& p) {
  std::string s;
  s.reserve(12);
  PutU32(s, p.GUID);
  PutU16(s, p.ClientCode);
  PutU8(s, p.Facing);
  PutU8(s, p.StateByte);
  PutU16(s, p.X);
  PutU16(s, p.Y);
  return s;
}

void TServerPlayerManager::SendToNearby(uint32_t guid, GameMessagePtr message, bool includeSelf) {
  GameMessagePtr tmpl = std::move(message);  // released on every path
  int32_t s = getNumfromGUID(guid);
  if (s == MAX_PLAYERS || !tmpl) return;
  const PlayerRecord& self = *FPlayers[s];
  FOutgoing.clear();
  ForEachPlayer([&](const PlayerRecord& r) {
    if (!WithinView(r, self) || (!includeSelf && r.GUID == guid)) return;
    auto copy = std::make_unique<GameMessage>(*tmpl);
    copy->GUID = r.GUID;
    FOutgoing.push_back(std::move(copy));
  });
  // One hand-over for the whole broadcast: one lock and one wake-up of the dispatch thread.
  FDispatch.WaitForRoom(FOutgoing.size(), DISPATCH_ROOM_WAIT_MS);
  FDispatch.PushAll(FOutgoing);
}

void TServerPlayerManager::SendNearbyPlayersTo(uint32_t guid) {
  int32_t s = getNumfromGUID(guid);
  if (s == MAX_PLAYERS) return;
  const PlayerRecord& self = *FPlayers[s];
  ForEachPlayer([&](const PlayerRecord& r) {
    if (r.GUID != guid && WithinView(r, self)) Post(PlayerInfo, guid, -1, PlayerInfoPayload(r));
  });
}

uint32_t TServerPlayerManager::AddPlayer(int32_t socketId, const std::string& name,
                                         uint16_t clientCode, const std::string& password) {
  for (const auto& p : FPlayers) {
    if (p && p->SocketID == socketId) {
      ConsoleLine("AddPlayer: sid=" + std::to_string(socketId) +
                  " has player GUID=" + std::to_string(p->GUID) + " already; StartGame ignored");
      return 0;
    }
  }
  ConsoleLine("AddPlayer: sid=" + std::to_string(socketId) + " name=" + name);
  int32_t slot = 0;
  while (slot < MAX_PLAYERS && FPlayers[slot]) ++slot;
  if (slot == MAX_PLAYERS) InternalCheckFailed("No free slot in FPlayers in AddPlayer", kModule);
  ConsoleLine("AddPlayer: playerNum=" + std::to_string(slot));

  auto p = std::make_unique<PlayerRecord>();
  p->Name = name.substr(0, MAX_NAME_LEN);
  p->Password = password.substr(0, MAX_NAME_LEN);
  p->ClientCode = clientCode;
  p->SocketID = socketId;
  p->GUID = FGuids.newGUID();
  p->Z = 0;
  p->X = FSpawnX;
  p->Y = FSpawnY;
  p->LastMove = GetTickCount();
  p->StopX = -1;
  p->StopY = -1;
  p->PosX = p->X;
  p->PosY = p->Y;
  const uint32_t guid = p->GUID;
  FPlayers[slot] = std::move(p);
  ++FPlayerCount;
  ++FRevision;
  const PlayerRecord& np = *FPlayers[slot];

  std::string assign;
  PutU32(assign, guid);
  Post(AssignGUID, guid, socketId, std::move(assign));

  std::string start;
  PutU8(start, 8);
  PutU8(start, 0);
  PutU16(start, np.X);
  PutU16(start, np.Y);
  PutU8(start, static_cast<uint8_t>(np.Z));
  Post(StartPosition, guid, socketId, std::move(start));

  SendToNearby(guid, MakeServerMessage(PlayerInfo, guid, -1, PlayerInfoPayload(np)), false);
  SendNearbyPlayersTo(guid);
  return guid;
}

void TServerPlayerManager::removePlayer(int32_t socketId) {
  int32_t slot = 0;
  while (slot < MAX_PLAYERS && !(FPlayers[slot] && FPlayers[slot]->SocketID == socketId)) ++slot;
  if (slot == MAX_PLAYERS)
    InternalCheckFailed("SocketID not found in FPlayers while trying to removePlayer()", kModule);
  const uint32_t guid = FPlayers[slot]->GUID;
  std::string left;
  PutU32(left, guid);
  PutU32(left, GetTickCount());
  SendToNearby(guid, MakeServerMessage(PlayerLeft, guid, -1, left), false);
  FGuids.releaseGUID(guid);
  --FPlayerCount;
  FPlayers[slot].reset();
  ++FRevision;
}

void TServerPlayerManager::Say(int32_t socketId, const std::string& text, uint32_t duration) {
  PlayerRecord* p = BySocketGuid(socketId);
  if (!p) return;
  p->SpeechText = text.substr(0, MAX_SPEECH_LEN);
  p->SpeechUntil = GetTickCount() + duration;
  std::string payload;
  PutU32(payload, p->GUID);
  PutU32(payload, duration);
  payload += p->SpeechText;
  SendToNearby(p->GUID, MakeServerMessage(PlayerSpeech, p->GUID, -1, payload), true);
}

TPlayerSnapshotList TServerPlayerManager::TakeSnapshot() const {
  TPlayerSnapshotList out;
  out.reserve(FPlayerCount);
  ForEachPlayer([&](const PlayerRecord& r) {
    out.push_back(TPlayerSnapshotEntry{r.GUID, r.Name, r.SocketID, r.X, r.Y});
  });
  return out;
}

}  // namespace zq
