// A small stand-in server on 127.0.0.1 for the client tests: greeting, setup replies, one BEAT
// after ClientUDPPort, AssignGUID/StartPosition/PlayerInfo on StartGame, and for keys 1-4 a
// PlayerMotion by UDP to every player plus an ack to the mover. It records what it received.
// Step() serves it from the caller's thread; Start() runs it on a thread of its own.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zq::test {

struct TFakeReceived {
  int Socket = 0;
  uint32_t Type = 0;
  std::string Payload;
  bool ViaUdp = false;
};

class TFakeServer {
 public:
  explicit TFakeServer(int maxClients = 63);
  ~TFakeServer();

  uint16_t Port() const { return port_; }
  void Step(int timeoutMs);
  void Start();
  void Stop();

  std::vector<TFakeReceived> Received() const;
  // Ends the TCP connection of socket number s (1 = first accepted).
  void Drop(int s);
  // Sends raw bytes on the TCP connection of socket number s.
  void SendRawTcp(int s, const std::string& bytes);

 private:
  struct TConn;
  void Accept();
  void ReadTcp(TConn& c);
  void ReadUdp(TConn& c);
  void Handle(TConn& c, uint32_t type, const std::string& payload, bool viaUdp);
  void SendTcp(TConn& c, const std::string& bytes);
  void SendUdp(TConn& c, const std::string& bytes);

  int maxClients_;
  int listenFd_ = -1;
  uint16_t port_ = 0;
  std::vector<std::unique_ptr<TConn>> conns_;  // index s-1
  mutable std::mutex mutex_;                   // guards everything while the thread runs
  std::vector<TFakeReceived> received_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace zq::test
