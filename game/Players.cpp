#include "game/Players.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <utility>

#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/Errors.h"
#include "platform/TextEscape.h"
#include "protocol/MessageCodec.h"
#include "protocol/MessageCodes.h"

namespace zq {

namespace {
constexpr const char* MODULE = "Players";
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
    : guids_(guids),
      timer_(timer),
      dispatch_(dispatchQueue),
      sockets_(sockets),
      map_(map),
      spawnX_(static_cast<uint16_t>(spawnX)),
      spawnY_(static_cast<uint16_t>(spawnY)) {}

const PlayerRecord* TServerPlayerManager::Player(int32_t slot) const {
  if (slot < 0 || slot >= MAX_PLAYERS) return nullptr;
  return players_[slot].get();
}

int32_t TServerPlayerManager::getNumfromGUID(uint32_t guid) const {
  for (int32_t i = 0; i < MAX_PLAYERS; ++i)
    if (players_[i] && players_[i]->GUID == guid) return i;
  ConsoleDiagnostic("no player", "getNumfromGUID: player GUID (" + std::to_string(guid) +
                                     ") not found in FPlayers");
  return MAX_PLAYERS;
}

PlayerRecord* TServerPlayerManager::BySocketGuid(int32_t socketId) {
  int32_t s = getNumfromGUID(sockets_.GuidOf(socketId));
  return s == MAX_PLAYERS ? nullptr : players_[s].get();
}

bool TServerPlayerManager::WithinView(const PlayerRecord& a, const PlayerRecord& b) {
  return std::abs(static_cast<int32_t>(a.X) - static_cast<int32_t>(b.X)) <= VIEW_RANGE_X &&
         std::abs(static_cast<int32_t>(a.Y) - static_cast<int32_t>(b.Y)) <= VIEW_RANGE_Y;
}

void TServerPlayerManager::Post(uint32_t type, const PlayerRecord& to, std::string_view payload) {
  const bool toConnection = type == AssignGUID || type == StartPosition || type == ReleaseGUID;
  GameMessagePtr m = MakeServerMessage(type, to.GUID, toConnection ? to.SocketID : -1, payload);
  if (toConnection) m->Serial = to.Serial;
  outgoing_.push_back(std::move(m));
}

void TServerPlayerManager::Flush() {
  std::vector<GameMessagePtr> chunk;
  for (std::size_t at = 0; at < outgoing_.size();) {
    const std::size_t n = std::min(FLUSH_CHUNK, outgoing_.size() - at);
    chunk.assign(std::make_move_iterator(outgoing_.begin() + static_cast<std::ptrdiff_t>(at)),
                 std::make_move_iterator(outgoing_.begin() + static_cast<std::ptrdiff_t>(at + n)));
    // A busy dispatch thread holds this thread back rather than lose messages (the main
    // thread then holds its clients' input back in turn); only a stuck one costs messages.
    for (uint32_t waited = 0; waited < DISPATCH_ROOM_PATIENCE_MS; waited += DISPATCH_ROOM_WAIT_MS)
      if (dispatch_.WaitForRoom(n, DISPATCH_ROOM_WAIT_MS)) break;
    dispatch_.PushAll(chunk);
    at += n;
  }
  outgoing_.clear();
}

std::string TServerPlayerManager::PlayerInfoPayload(const PlayerRecord& p) {
  return EncodePlayerInfo({p.GUID, p.ClientCode, p.Facing, p.StateByte, p.X, p.Y});
}

void TServerPlayerManager::SendToNearby(uint32_t guid, GameMessagePtr message, bool includeSelf) {
  GameMessagePtr tmpl = std::move(message);  // released on every path
  int32_t s = getNumfromGUID(guid);
  if (s == MAX_PLAYERS || !tmpl) return;
  const PlayerRecord& self = *players_[s];
  tmpl->Recipients.clear();
  tmpl->Recipients.reserve(playerCount_);
  ForEachPlayer([&](const PlayerRecord& r) {
    if (WithinView(r, self) && (includeSelf || r.GUID != guid)) tmpl->Recipients.push_back(r.GUID);
  });
  if (!tmpl->Recipients.empty()) outgoing_.push_back(std::move(tmpl));
}

void TServerPlayerManager::SendNearbyPlayersTo(uint32_t guid) {
  int32_t s = getNumfromGUID(guid);
  if (s == MAX_PLAYERS) return;
  const PlayerRecord& self = *players_[s];
  ForEachPlayer([&](const PlayerRecord& r) {
    if (r.GUID != guid && WithinView(r, self)) Post(PlayerInfo, self, PlayerInfoPayload(r));
  });
}

uint32_t TServerPlayerManager::AddPlayer(int32_t socketId, const std::string& name,
                                         uint16_t clientCode, const std::string& password,
                                         uint64_t serial) {
  for (const auto& p : players_) {
    if (p && p->SocketID == socketId) {
      ConsoleDiagnostic("second start", "AddPlayer: sid=" + std::to_string(socketId) +
                                            " has player GUID=" + std::to_string(p->GUID) +
                                            " already; StartGame ignored");
      return 0;
    }
  }
  ConsoleLine(TLogLevel::Debug,
              "AddPlayer: sid=" + std::to_string(socketId) + " name=" + EscapeControl(name));
  int32_t slot = 0;
  while (slot < MAX_PLAYERS && players_[slot]) ++slot;
  if (slot == MAX_PLAYERS) InternalCheckFailed("No free slot in FPlayers in AddPlayer", MODULE);
  ConsoleLine(TLogLevel::Debug, "AddPlayer: playerNum=" + std::to_string(slot));

  auto p = std::make_unique<PlayerRecord>();
  p->Name = name.substr(0, MAX_NAME_LEN);
  p->Password = password.substr(0, MAX_NAME_LEN);
  p->ClientCode = clientCode;
  p->SocketID = socketId;
  p->Serial = serial;
  p->GUID = guids_.newGUID();
  p->Z = 0;
  p->X = spawnX_;
  p->Y = spawnY_;
  p->LastMove = GetTickCount();
  p->StopX = -1;
  p->StopY = -1;
  p->PosX = p->X;
  p->PosY = p->Y;
  const uint32_t guid = p->GUID;
  players_[slot] = std::move(p);
  ++playerCount_;
  ++revision_;
  const PlayerRecord& np = *players_[slot];

  // AssignGUID first: the sending side binds the GUID to the connection before anything else.
  Post(AssignGUID, np, EncodeAssignGUID(guid));
  Post(StartPosition, np, EncodeStartPosition(np.X, np.Y, np.Z));
  SendToNearby(guid, MakeServerMessage(PlayerInfo, guid, -1, PlayerInfoPayload(np)), false);
  SendNearbyPlayersTo(guid);
  Tell(TGameEvent::TKind::Join, np);
  return guid;
}

void TServerPlayerManager::removePlayer(int32_t socketId) {
  int32_t slot = 0;
  while (slot < MAX_PLAYERS && !(players_[slot] && players_[slot]->SocketID == socketId)) ++slot;
  if (slot == MAX_PLAYERS)
    InternalCheckFailed("SocketID not found in FPlayers while trying to removePlayer()", MODULE);
  const PlayerRecord& p = *players_[slot];
  const uint32_t guid = p.GUID;
  Tell(TGameEvent::TKind::Leave, p);
  SendToNearby(
      guid, MakeServerMessage(PlayerLeft, guid, -1, EncodePlayerLeft(guid, GetTickCount())), false);
  // After everything already posted for the player: its GUID may be handed out again.
  Post(ReleaseGUID, p, {});
  guids_.releaseGUID(guid);
  --playerCount_;
  players_[slot].reset();
  ++revision_;
}

void TServerPlayerManager::Say(int32_t socketId, const std::string& text, uint32_t duration) {
  PlayerRecord* p = BySocketGuid(socketId);
  if (!p) return;
  p->SpeechText = text.substr(0, MAX_SPEECH_LEN);
  p->SpeechUntil = GetTickCount() + duration;
  SendToNearby(p->GUID,
               MakeServerMessage(PlayerSpeech, p->GUID, -1,
                                 EncodePlayerSpeech(p->GUID, duration, p->SpeechText)),
               true);
  Tell(TGameEvent::TKind::Speech, *p, p->SpeechText);
}

void TServerPlayerManager::Tell(TGameEvent::TKind kind, const PlayerRecord& p, std::string text) {
  if (eventSink_)
    eventSink_(TGameEvent{kind, p.GUID, p.SocketID, p.Name, p.X, p.Y, std::move(text)});
}

void TServerPlayerManager::SayTo(uint64_t serial, const std::string& text, uint32_t duration) {
  const PlayerRecord* to = nullptr;
  ForEachPlayer([&](const PlayerRecord& r) {
    if (r.Serial == serial) to = &r;
  });
  if (!to) return;
  Post(PlayerSpeech, *to, EncodePlayerSpeech(to->GUID, duration, text.substr(0, MAX_SPEECH_LEN)));
}

TPlayerSnapshotList TServerPlayerManager::TakeSnapshot() const {
  TPlayerSnapshotList out;
  out.reserve(playerCount_);
  ForEachPlayer([&](const PlayerRecord& r) {
    out.push_back(TPlayerSnapshotEntry{r.GUID, r.Name, r.SocketID, r.X, r.Y});
  });
  return out;
}

}  // namespace zq
