#include "platform/qt/TcpConnection.h"

#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QTimer>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

#include "platform/qt/EventGuard.h"
#include "platform/qt/TcpListener.h"

namespace zq {
namespace {

// Bytes read ahead of the handler; beyond them the kernel holds the peer's data, so a fast
// sender meets TCP back-pressure instead of growing the server's memory.
constexpr std::size_t READ_AHEAD = 64 * 1024;
constexpr std::size_t RECV_CHUNK = 16 * 1024;

bool WouldBlock(int error) {
  return error == EAGAIN || error == EWOULDBLOCK;
}

}  // namespace

int SocketErrorCode(int error) {
  switch (error) {
    case ECONNRESET:
    case EPIPE:
      return SOCKET_ERROR_RESET;
    case ECONNREFUSED:
      return 10061;
    case ETIMEDOUT:
      return 10060;
    case EACCES:
    case EPERM:
      return 10013;
    case ENOBUFS:
    case ENOMEM:
      return 10055;
    case ENETDOWN:
    case ENETUNREACH:
    case ENETRESET:
      return 10050;
    case EHOSTUNREACH:
    case EHOSTDOWN:
      return 10065;
    default:
      return 10000 + error;
  }
}

TTcpConnection::TTcpConnection(TTcpListener& listener, TEventPoll& poll, int fd,
                               std::string address, uint16_t port)
    : listener_(listener), poll_(poll), fd_(fd), address_(std::move(address)), port_(port) {
  interest_ = EPOLLIN;
  key_ = poll_.Add(fd_, interest_, *this);
}

TTcpConnection::~TTcpConnection() {
  ReleaseSocket(true);
}

void TTcpConnection::SendText(std::string_view bytes) {
  if (closed_ || overflowed_ || fd_ < 0 || bytes.empty()) return;
  if (writable_ && PendingBytes() == 0) {
    const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    // A failed send shows again as an error of the socket, handled with the next events.
    if (n > 0) bytes.remove_prefix(static_cast<std::size_t>(n));
    if (bytes.empty()) return;
    if (n < 0 && !WouldBlock(errno) && errno != EINTR) return;
  }
  if (PendingBytes() + bytes.size() > listener_.SendLimit()) {
    overflowed_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (!closed_) listener_.Raise("overflow", listener_.OnOverflow, *this);
        },
        Qt::QueuedConnection);
    return;
  }
  if (outStart_ > 0 && outStart_ == out_.size()) {
    out_.clear();
    outStart_ = 0;
  }
  out_.append(bytes);
  WatchFor();
}

std::string TTcpConnection::ReceiveText(std::size_t maxBytes) {
  const std::size_t n = std::min(maxBytes, inbox_.size() - inboxStart_);
  std::string taken = inbox_.substr(inboxStart_, n);
  inboxStart_ += n;
  if (inboxStart_ == inbox_.size()) {
    inbox_.clear();
    inboxStart_ = 0;
  }
  if (!closed_) WatchFor();  // room again for the kernel's bytes
  return taken;
}

void TTcpConnection::Close() {
  if (closed_) return;
  closed_ = true;
  ReleaseSocket(overflowed_);
  listener_.Raise("disconnect", listener_.OnDisconnect, *this);
  listener_.Retire(*this);
}

void TTcpConnection::Drop() {
  if (closed_) return;
  closed_ = true;
  ReleaseSocket(overflowed_);
}

void TTcpConnection::BecomeWritable() {
  if (closed_ || writable_) return;
  writable_ = true;
  Flush();
  WatchFor();
}

void TTcpConnection::HoldReading(uint32_t ms) {
  if (closed_ || (held_ && ms != 0)) return;
  held_ = ms != 0;
  const uint64_t serial = ++holdSerial_;
  if (held_)
    QTimer::singleShot(std::chrono::milliseconds(ms), this, [this, serial] {
      if (serial == holdSerial_) HoldReading(0);
    });
  ReadingResumed();
}

bool TTcpConnection::ReadingStopped() const {
  return held_ || listener_.ReadingPaused();
}

void TTcpConnection::ReadingResumed() {
  if (closed_) return;
  WatchFor();
  if (!ReadingStopped() && (inbox_.size() > inboxStart_ || eof_ || endError_ != 0))
    RaiseReadLater();
}

void TTcpConnection::OnPollEvents(uint32_t events) {
  if (closed_) return;
  if (events & EPOLLOUT) Flush();
  if (ReadingStopped()) return WatchFor();  // the read waits, and so does the end
  if (events & (EPOLLIN | EPOLLHUP | EPOLLERR)) ReadAhead();
  if ((events & EPOLLERR) && endError_ == 0 && !eof_) {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error != 0)
      endError_ = error;
  }
  if (inbox_.size() > inboxStart_) {
    listener_.Raise("read", listener_.OnRead, *this);
    if (closed_) return;
    // A handler that took only part leaves the rest for a later turn; the end waits behind it.
    if (inbox_.size() > inboxStart_) return RaiseReadLater();
  }
  if (eof_ || endError_ != 0) return End();
  WatchFor();
}

void TTcpConnection::ReadAhead() {
  char chunk[RECV_CHUNK];
  while (!eof_ && endError_ == 0) {
    const std::size_t buffered = inbox_.size() - inboxStart_;
    if (buffered >= READ_AHEAD) break;
    const ssize_t n = ::recv(fd_, chunk, std::min(RECV_CHUNK, READ_AHEAD - buffered), MSG_DONTWAIT);
    if (n > 0) {
      if (inboxStart_ > 0 && inboxStart_ >= inbox_.size() / 2) {
        inbox_.erase(0, inboxStart_);
        inboxStart_ = 0;
      }
      inbox_.append(chunk, static_cast<std::size_t>(n));
      continue;
    }
    if (n == 0) {
      eof_ = true;
    } else if (errno != EINTR) {
      if (!WouldBlock(errno)) endError_ = errno;
      break;
    }
  }
}

void TTcpConnection::Flush() {
  while (writable_ && PendingBytes() > 0) {
    const ssize_t n =
        ::send(fd_, out_.data() + outStart_, PendingBytes(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      outStart_ += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && !WouldBlock(errno)) endError_ = errno;
    break;
  }
  if (PendingBytes() == 0) {
    out_.clear();
    outStart_ = 0;
  }
}

void TTcpConnection::WatchFor() {
  if (fd_ < 0) return;
  uint32_t wanted = 0;
  if (!ReadingStopped() && !eof_ && endError_ == 0 && inbox_.size() - inboxStart_ < READ_AHEAD)
    wanted |= EPOLLIN;
  if (writable_ && PendingBytes() > 0) wanted |= EPOLLOUT;
  if (wanted == interest_) return;
  interest_ = wanted;
  poll_.Modify(key_, interest_);
}

void TTcpConnection::RaiseReadLater() {
  WatchFor();
  if (readQueued_) return;
  readQueued_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        readQueued_ = false;
        if (!closed_) OnPollEvents(0);
      },
      Qt::QueuedConnection);
}

void TTcpConnection::RaiseError(int code, const std::string& text) {
  TTcpListener::ErrorEvent handler = listener_.OnError;
  if (handler) RunGuarded("error", [&] { handler(*this, code); });
  if (code == 0) return;
  ReportEventError("Socket error " + std::to_string(code) + " on " + address_ + ":" +
                   std::to_string(port_) + ": " + text);
}

void TTcpConnection::End() {
  if (endError_ != 0) {
    RaiseError(SocketErrorCode(endError_), std::strerror(endError_));
    if (closed_) return;  // the error handler closed the connection
  }
  closed_ = true;
  ReleaseSocket(true);  // the peer has gone: nothing more reaches it
  listener_.Raise("disconnect", listener_.OnDisconnect, *this);
  listener_.Retire(*this);
}

void TTcpConnection::ReleaseSocket(bool discard) {
  if (fd_ < 0) return;
  poll_.Remove(key_);
  const int fd = std::exchange(fd_, -1);
  if (discard || eof_ || endError_ != 0) {
    ::close(fd);
    return;
  }
  listener_.Linger(fd, out_.substr(outStart_));
  out_.clear();
  outStart_ = 0;
}

}  // namespace zq
