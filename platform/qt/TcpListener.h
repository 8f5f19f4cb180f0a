// TTcpListener: the server's TCP listener over QTcpServer. It accepts connections on an
// IPv4 or IPv6 address and a port and raises, on the main thread, per connection: connect;
// ready-to-write once, queued after the connect event; read; error (code settable to 0 to silence
// the facility's own report); overflow when the send buffer passes its bound (queued, never inside
// SendText); and exactly one disconnect, whoever closes. Stop ends every connection without
// disconnect events. The listener owns its connections. Main thread only.
#pragma once

#include <QObject>
#include <QTcpServer>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

#include "platform/Sockets.h"

namespace zq {

class TTcpConnection;

constexpr std::size_t DEFAULT_SEND_LIMIT = 1024 * 1024;

class TTcpListener : public QObject {
 public:
  using ConnectionEvent = std::function<void(ITcpConnection& connection)>;
  // `code` may be set to 0 to suppress the facility's own report of the error.
  using ErrorEvent = std::function<void(ITcpConnection& connection, int& code)>;

  explicit TTcpListener(QObject* parent = nullptr);
  ~TTcpListener() override;
  TTcpListener(const TTcpListener&) = delete;
  TTcpListener& operator=(const TTcpListener&) = delete;

  ConnectionEvent OnConnect;
  ConnectionEvent OnDisconnect;
  ConnectionEvent OnRead;
  ConnectionEvent OnWrite;
  ConnectionEvent OnOverflow;
  ErrorEvent OnError;

  // Starts listening on `host` (an IPv4 or IPv6 address, default every IPv4 address) and
  // `port` (0: any free port).
  // Raises EInOutError naming the port when it cannot listen.
  void Listen(uint16_t port, const std::string& host = "0.0.0.0");
  bool Listening() const { return server_.isListening(); }
  // The port listened on (0 when not listening).
  uint16_t Port() const { return server_.serverPort(); }
  // Closes the listening socket and every connection, raising no disconnect events.
  void Stop();

  // Bound of a connection's send buffer; a connection that passes it raises its overflow
  // event and drops further output.
  void SetSendLimit(std::size_t bytes) { sendLimit_ = bytes; }
  std::size_t SendLimit() const { return sendLimit_; }
  std::size_t ConnectionCount() const { return live_.size(); }

 private:
  friend class TTcpConnection;

  void Accept();
  void Raise(const char* event, const ConnectionEvent& handler, TTcpConnection& connection);
  // The connection has ended: it is deleted once control is back in the event loop.
  void Retire(TTcpConnection& connection);

  QTcpServer server_;
  std::unordered_map<const TTcpConnection*, std::unique_ptr<TTcpConnection>> live_;
  std::size_t sendLimit_ = DEFAULT_SEND_LIMIT;
};

}  // namespace zq
