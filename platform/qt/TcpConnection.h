// TTcpConnection: one accepted TCP connection of a TTcpListener, a non-blocking socket in the
// thread's epoll set. It keeps the remote address and port from the accept, raises its events
// through the listener, tells a reset by the peer (error 10054) from an orderly close, holds
// its output until its first ready-to-write and then sends it in order, bounds its send
// buffer, and reads ahead at most 64 KiB (beyond that the kernel holds the peer's
// bytes; a read event that leaves bytes untaken is raised again on a later turn of the event
// loop). Main thread only.
//
// Error codes given to the error event (Winsock numbers, as the server's handlers expect):
//   10054 reset by the peer         10061 connection refused     10060 timed out
//   10013 access denied             10055 out of resources        10050 network down
//   10065 host unreachable          10000 + errno for any other error
// An orderly close by the peer is no error: it raises only the disconnect event.
#pragma once

#include <QObject>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Sockets.h"
#include "platform/qt/EventPoll.h"

namespace zq {

class TTcpListener;

// The error code the error event carries for an errno value (see the table above).
int SocketErrorCode(int error);

class TTcpConnection : public QObject, public ITcpConnection, public IPollClient {
 public:
  // Takes over the connected, non-blocking socket `fd`.
  TTcpConnection(TTcpListener& listener, TEventPoll& poll, int fd, std::string address,
                 uint16_t port);
  ~TTcpConnection() override;
  TTcpConnection(const TTcpConnection&) = delete;
  TTcpConnection& operator=(const TTcpConnection&) = delete;

  const std::string& RemoteAddress() const override { return address_; }
  uint16_t RemotePort() const override { return port_; }
  // Hands the bytes to the kernel, or queues them behind what it has not taken yet (and, before
  // the first ready-to-write, behind nothing); ignored once closed or over the send bound.
  void SendText(std::string_view bytes) override;
  std::string ReceiveText(std::size_t maxBytes) override;
  void Close() override;
  // The read and the end wait while held; a hold already running is not lengthened.
  void HoldReading(uint32_t ms) override;

  bool Closed() const { return closed_; }
  // Bytes waiting for the kernel to take them.
  std::size_t PendingBytes() const { return out_.size() - outStart_; }

  // Listener's Stop: ends the connection without a disconnect event.
  void Drop();
  // The listener's first ready-to-write: what waited goes to the kernel, and sends go at once
  // from now on.
  void BecomeWritable();
  bool Writable() const { return writable_; }
  // The listener paused or resumed reading: watch for what fits, raise waiting reads later.
  void ReadingResumed();

  void OnPollEvents(uint32_t events) override;

 private:
  bool ReadingStopped() const;  // held, or paused by the listener
  void ReadAhead();             // from the kernel into inbox_, up to the read-ahead bound
  void Flush();                 // as much of out_ as the kernel takes
  void WatchFor();              // the epoll interest that fits the buffers
  void RaiseReadLater();
  void RaiseError(int code, const std::string& text);
  // The end of the connection: the error event for a reset, then the disconnect event.
  void End();
  // Hands the socket to the listener to finish sending (unless `discard`) and close.
  void ReleaseSocket(bool discard);

  TTcpListener& listener_;
  TEventPoll& poll_;
  int fd_;
  uint64_t key_ = 0;
  std::string address_;
  uint16_t port_ = 0;
  std::string inbox_;  // read ahead, from inboxStart_ on
  std::size_t inboxStart_ = 0;
  std::string out_;  // not yet taken by the kernel, from outStart_ on
  std::size_t outStart_ = 0;
  uint32_t interest_ = 0;
  bool held_ = false;
  uint64_t holdSerial_ = 0;  // tells a hold's timer whether it is still the current one
  int endError_ = 0;         // errno of a failed read or write; 0 for none
  bool eof_ = false;
  bool closed_ = false;
  bool overflowed_ = false;
  bool readQueued_ = false;  // a later read event is on its way
  bool writable_ = false;    // its first ready-to-write has come
};

}  // namespace zq
