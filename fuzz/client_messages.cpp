// The client message handler on any sequence of connects, disconnects and messages (any
// number, type and payload): game messages reach the game only for connections in the game,
// joins and departures of a connection alternate, nothing is sent to a connection that has
// gone, and what a message carries fits its type.
#include <deque>
#include <map>

#include "fuzz/FuzzSupport.h"
#include "protocol/ClientMessages.h"
#include "protocol/MessageCodes.h"
#include "protocol/ZQProtocol.h"
#include "tests/protocol/ProtocolFakes.h"

namespace {

// Reads the input front to back; zero once it has run out.
class TInput {
 public:
  TInput(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool More() const { return at_ < size_; }
  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::string Bytes(std::size_t n) {
    n = std::min(n, size_ - at_);
    std::string out(reinterpret_cast<const char*>(data_ + at_), n);
    at_ += n;
    return out;
  }

 private:
  const uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

}  // namespace

std::vector<std::string> FuzzSeeds() {
  auto message = [](uint8_t n, uint8_t code, const std::string& payload) {
    return std::string{'\x02', static_cast<char>(n), static_cast<char>(code), '\0',
                       static_cast<char>(payload.size())} +
           payload;
  };
  const std::string connect(1, '\0'), key(14, '\x04');
  return {std::string(1, '\x0a') + connect + message(1, 0x1C, "alice") +
              message(1, 0x28, "\x30\x75") + message(1, 0x29, "") + message(1, 0x2C, key) +
              message(1, 0x0F, "hi") + message(1, 0x25, "") + std::string(1, '\x01') +
              std::string(1, '\x01'),
          std::string(1, '\x02') + connect + connect + message(2, 0x29, "") +
              message(2, 0x1B, "\x00\x00\x00\x00\x00") + message(1, 0x07, "\x34")};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using zq::fuzz::Require;
  zq::fuzz::QuietConsole();
  TInput in(data, size);
  const uint32_t rate = in.Byte() % 16;  // 0: no budget

  zq::TSocketTable sockets;
  zq::TGameMessenger game("fuzz-sgm", zq::GAME_QUEUE_RESERVE);
  std::deque<zq::test::FakeTcpConnection> connections;  // outlive their records
  std::map<uint64_t, zq::test::FakeTcpConnection*> bySerial;
  std::map<uint64_t, std::size_t> sentWhenGone;
  std::map<uint64_t, bool> inGame;  // by serial, as the game sees the joins and departures
  auto leave = [&](zq::TSocketID& client) { sockets.RemoveSocket(*client.Socket); };
  zq::TClientMessageHandler handler(
      game, zq::TClientSettings{"ID", 28500, rate},
      [] {
        return std::make_unique<zq::test::FakeUdpEndpoint>(std::make_shared<zq::test::UdpRecord>());
      },
      nullptr,
      [&](zq::TSocketID& client) {
        const uint64_t serial = client.Serial;
        handler.ClientLeft(client);
        sentWhenGone[serial] = bySerial[serial]->sent.size();
        leave(client);
      });

  for (int step = 0; step < 2000 && in.More(); ++step) {
    const uint8_t op = in.Byte();
    if (op % 8 == 0) {
      if (!sockets.HasFreeEntry()) continue;
      connections.emplace_back("127.0.0.1", static_cast<uint16_t>(connections.size() + 1));
      zq::TSocketID& client = sockets.AddSocket(connections.back());
      handler.Admit(client);
      bySerial[client.Serial] = &connections.back();
    } else if (op % 8 == 1) {
      const int32_t n = 1 + in.Byte() % 8;
      zq::TSocketID& client = sockets[n];
      if (!client.InUse()) continue;
      sentWhenGone[client.Serial] = bySerial[client.Serial]->sent.size();
      handler.ClientLeft(client);
      leave(client);
    } else {
      const int32_t n = 1 + in.Byte() % 9;  // 9 is never the number of these connections
      const uint32_t type = static_cast<uint32_t>(in.Byte()) << 24 |
                            static_cast<uint32_t>(op % 3 == 0 ? in.Byte() : 0) << 16;
      const std::string payload = in.Bytes(in.Byte());
      handler.HandleClientMessage(sockets[n], type, payload);
    }
    while (zq::GameMessagePtr m = game.Pop()) {
      Require(m->SocketID >= 1 && m->SocketID <= zq::MAX_SOCKETS, "a game message has a sender");
      Require(bySerial.count(m->Serial) == 1, "a game message carries its connection's serial");
      Require(zq::IsGameCode(zq::MsgCode(m->MsgType)), "only game codes reach the game");
      Require(m->Data.size() <= zq::MAX_MSG_DATA, "a game message holds at most 250 bytes");
      bool& joined = inGame[m->Serial];
      if (m->MsgType == zq::StartGame) {
        Require(!joined, "a connection joins once until it leaves");
        Require(std::holds_alternative<zq::MSStartup>(m->msgStruct), "a join carries MSStartup");
        joined = true;
      } else if (m->MsgType == zq::ClientGone) {
        Require(joined, "only a connection in the game leaves it");
        joined = false;
      } else {
        Require(joined, "game messages come only from connections in the game");
        if (m->MsgType == zq::KeyDown || m->MsgType == zq::KeyUp)
          Require(std::holds_alternative<zq::MSKey>(m->msgStruct), "a key carries MSKey");
      }
    }
    for (const auto& [serial, sent] : sentWhenGone)
      Require(bySerial[serial]->sent.size() == sent, "nothing is sent to a connection that left");
  }
  for (zq::TSocketID& client : sockets)
    if (client.InUse()) handler.ClientLeft(client);
  while (zq::GameMessagePtr m = game.Pop())
    if (m->MsgType == zq::ClientGone) inGame[m->Serial] = false;
  for (const auto& [serial, joined] : inGame) Require(!joined, "every player that joined leaves");
  return 0;
}
