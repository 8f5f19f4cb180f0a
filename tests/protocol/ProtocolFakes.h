// Recording fakes of a TCP connection and a UDP endpoint, and a hex helper, for the
// protocol tests.
#pragma once

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Sockets.h"

namespace zq::test {

// "0E 00 00 2B" -> those four bytes.
inline std::string Hex(const std::string& text) {
  std::istringstream in(text);
  std::string out;
  for (unsigned v; in >> std::hex >> v;) out.push_back(static_cast<char>(v));
  return out;
}

class FakeTcpConnection : public ITcpConnection {
 public:
  FakeTcpConnection(std::string address, uint16_t port)
      : address_(std::move(address)), port_(port) {}
  const std::string& RemoteAddress() const override { return address_; }
  uint16_t RemotePort() const override { return port_; }
  void SendText(std::string_view bytes) override {
    sent += bytes;
    if (onSend) onSend(bytes);
  }
  std::string ReceiveText(std::size_t) override { return {}; }
  void Close() override {
    ++closes;
    if (onClose) onClose();
  }
  std::string sent;  // every send, concatenated
  int closes = 0;
  std::function<void()> onClose;
  std::function<void(std::string_view)> onSend;  // after each send is recorded

 private:
  std::string address_;
  uint16_t port_;
};

// What an endpoint saw; outlives the endpoint so its release can be checked.
struct UdpRecord {
  std::vector<uint16_t> binds;
  std::string remoteHost;
  uint16_t remotePort = 0;
  std::vector<std::string> datagrams;
  bool destroyed = false;
};

class FakeUdpEndpoint : public IUdpEndpoint {
 public:
  explicit FakeUdpEndpoint(std::shared_ptr<UdpRecord> r, bool bindOk = true)
      : r_(std::move(r)), bindOk_(bindOk) {}
  ~FakeUdpEndpoint() override { r_->destroyed = true; }
  bool Bind(uint16_t port) override {
    r_->binds.push_back(port);
    return bindOk_ || port == 0;
  }
  void SetRemote(const std::string& host, uint16_t port) override {
    r_->remoteHost = host;
    r_->remotePort = port;
  }
  void Send(std::string_view datagram) override { r_->datagrams.emplace_back(datagram); }
  void SetReceiveHandler(UdpReceiveHandler) override {}

 private:
  std::shared_ptr<UdpRecord> r_;
  bool bindOk_;
};

}  // namespace zq::test
