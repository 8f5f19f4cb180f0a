// TTcpListener: the server's TCP listener, a non-blocking socket in the thread's epoll set. It
// accepts connections on an IPv4 or IPv6 address and a port and raises, on the main thread,
// per connection: connect; ready-to-write once, queued after the connect event (the connection
// holds its output until then); read; error
// (code settable to 0 to silence the facility's own report); overflow when the send buffer
// passes its bound (queued, never inside SendText); and exactly one disconnect, whoever
// closes. Stop ends every connection without disconnect events. A closed connection's output
// is handed to the kernel and the socket closed at once; what the kernel cannot take at once
// is still sent for up to a second, by at most 64 sockets at a time. Out of descriptors, the
// listener takes a waiting connection with the one it holds in reserve and closes it, so that
// none waits in the kernel's queue for a descriptor. The listener owns its connections. Main
// thread only.
#pragma once

#include <QObject>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

#include "platform/Descriptors.h"
#include "platform/Sockets.h"
#include "platform/qt/EventPoll.h"

namespace zq {

class TTcpConnection;

constexpr std::size_t DEFAULT_SEND_LIMIT = 1024 * 1024;

class TTcpListener : public QObject, public IPollClient {
 public:
  using ConnectionEvent = std::function<void(ITcpConnection& connection)>;
  // `code` may be set to 0 to suppress the facility's own report of the error.
  using ErrorEvent = std::function<void(ITcpConnection& connection, int& code)>;

  TTcpListener();
  ~TTcpListener() override;
  TTcpListener(const TTcpListener&) = delete;
  TTcpListener& operator=(const TTcpListener&) = delete;

  ConnectionEvent OnConnect;
  ConnectionEvent OnDisconnect;
  ConnectionEvent OnRead;
  ConnectionEvent OnWrite;
  ConnectionEvent OnOverflow;
  ErrorEvent OnError;

  // Starts listening on `host` (an IPv4 or IPv6 address, default every IPv4 address; "::"
  // means every IPv6 address only) and `port` (0: any free port). Raises EInOutError naming
  // the port and the address when it cannot listen.
  void Listen(uint16_t port, const std::string& host = "0.0.0.0");
  bool Listening() const { return fd_ >= 0; }
  // The port listened on (0 when not listening).
  uint16_t Port() const { return port_; }
  // Closes the listening socket and every connection, raising no disconnect events.
  void Stop();

  // Bound of a connection's send buffer; a connection that passes it raises its overflow
  // event and drops further output.
  void SetSendLimit(std::size_t bytes) { sendLimit_ = bytes; }
  std::size_t SendLimit() const { return sendLimit_; }
  std::size_t ConnectionCount() const { return live_.size(); }
  // Closed connections still handing their output to the kernel.
  std::size_t LingeringCount() const { return lingering_.size(); }
  // How long a closed connection's socket may go on sending; for sockets closed later.
  static constexpr int DEFAULT_LINGER_MS = 1000;
  void SetLingerTime(int ms) { lingerMs_ = ms; }

  // While paused, no connection takes bytes from the kernel or raises read events (what it
  // has read ahead waits), so senders meet TCP back-pressure; resuming raises the waiting
  // reads on a later turn.
  void SetReadingPaused(bool paused);
  bool ReadingPaused() const { return readingPaused_; }

  void OnPollEvents(uint32_t events) override;  // new connections

 private:
  friend class TTcpConnection;
  class TLinger;

  void Accept();
  // Out of descriptors: accepts one waiting connection with the reserve's and closes it;
  // false when there was none or no reserve.
  bool CloseOneWaiting();
  void Raise(const char* event, const ConnectionEvent& handler, TTcpConnection& connection);
  // The connection has ended: it is deleted once control is back in the event loop.
  void Retire(TTcpConnection& connection);
  // Takes a closed connection's socket over to send `rest` and close: at once when the kernel
  // takes it all, else within the linger time.
  void Linger(int fd, std::string rest);
  void Forget(TLinger& linger);

  std::shared_ptr<TEventPoll> poll_;
  int fd_ = -1;
  uint64_t key_ = 0;
  uint16_t port_ = 0;
  std::unordered_map<const TTcpConnection*, std::unique_ptr<TTcpConnection>> live_;
  std::unordered_map<const TLinger*, std::unique_ptr<TLinger>> lingering_;
  TDescriptorReserve reserve_;
  std::size_t sendLimit_ = DEFAULT_SEND_LIMIT;
  int lingerMs_ = DEFAULT_LINGER_MS;
  bool readingPaused_ = false;
};

}  // namespace zq
