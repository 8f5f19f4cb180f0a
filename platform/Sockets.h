// What the server asks of a TCP connection and of a UDP endpoint. The Qt layer
// (platform/qt) implements them; tests use fakes. Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace zq {

// The error code a connection's error event carries when the peer reset the connection.
constexpr int SOCKET_ERROR_RESET = 10054;

class ITcpConnection {
 public:
  virtual ~ITcpConnection() = default;
  // Remote address as dotted IPv4 text and remote port, kept from the accept so they stay
  // readable during the disconnect event.
  virtual const std::string& RemoteAddress() const = 0;
  virtual uint16_t RemotePort() const = 0;
  // Hands the whole byte string to the connection. Output keeps its order, waits until the
  // connection has first reported that it can write, and is bounded by the connection.
  virtual void SendText(std::string_view bytes) = 0;
  // What has arrived and not been taken yet, at most `maxBytes` of it. What is left raises
  // another read event on a later turn of the event loop.
  virtual std::string ReceiveText(std::size_t maxBytes) = 0;
  // Closes the connection; its disconnect event runs before Close returns.
  virtual void Close() = 0;
  // Takes no more bytes from the kernel for `ms` milliseconds (0: from now on again), so a
  // sender beyond its share meets TCP flow control instead of costing the server its reads.
  virtual void HoldReading(uint32_t /*ms*/) {}

  // What the connection's owner keeps for it, as event libraries carry a connection's private
  // data: the server's record of an admitted connection, so that every event finds it at
  // once. Null until set.
  void SetOwnerData(void* data) { ownerData_ = data; }
  void* OwnerData() const { return ownerData_; }

 private:
  void* ownerData_ = nullptr;
};

class IUdpEndpoint;

// A datagram arrived on `endpoint` from senderAddress:senderPort.
using UdpReceiveHandler =
    std::function<void(IUdpEndpoint& endpoint, std::string datagram, uint16_t senderPort,
                       const std::string& senderAddress)>;

class IUdpEndpoint {
 public:
  virtual ~IUdpEndpoint() = default;
  // Binds the local port; 0 releases the port. False when the port cannot be bound.
  virtual bool Bind(uint16_t localPort) = 0;
  virtual void SetRemote(const std::string& host, uint16_t port) = 0;
  // Sends one datagram to the remote host and port.
  virtual void Send(std::string_view datagram) = 0;
  virtual void SetReceiveHandler(UdpReceiveHandler handler) = 0;
};

}  // namespace zq
