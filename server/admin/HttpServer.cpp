#include "server/admin/HttpServer.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>

#include <QByteArray>
#include <algorithm>
#include <cstring>
#include <optional>

namespace zq {
namespace {

using TClock = std::chrono::steady_clock;

constexpr std::size_t STREAM_BLOCK = 16 * 1024;
// Room in a connection's memory beside its request's head: the library's buffers and the
// answer's head.
constexpr std::size_t CONNECTION_MEMORY_BESIDE_HEAD = 16 * 1024;

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// "127.0.0.1", "::1"; an IPv4 address mapped into IPv6 as the IPv4 one.
std::string AddressText(const sockaddr* address) {
  char text[INET6_ADDRSTRLEN] = "";
  if (!address) return text;
  if (address->sa_family == AF_INET) {
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text,
                sizeof text);
  } else if (address->sa_family == AF_INET6) {
    const in6_addr& a = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
    if (IN6_IS_ADDR_V4MAPPED(&a))
      ::inet_ntop(AF_INET, &a.s6_addr[12], text, sizeof text);
    else
      ::inet_ntop(AF_INET6, &a, text, sizeof text);
  }
  return text;
}

THttpResponse Refusal(THttpStatus status, const std::string& why) {
  return THttpResponse{
      status, "{\"error\":\"" + why + "\"}", {{"Content-Type", "application/json"}}};
}

MHD_Response* MakeResponse(const THttpResponse& response) {
  // The library copies the body at once (and never writes to it).
  return MHD_create_response_from_buffer(
      response.Body.size(), const_cast<char*>(response.Body.data()), MHD_RESPMEM_MUST_COPY);
}

void AddHeaders(MHD_Response* made, const THttpResponse& response) {
  for (const auto& [name, value] : response.Headers)
    MHD_add_response_header(made, name.c_str(), value.c_str());
}

}  // namespace

std::string THttpRequest::Header(std::string_view name) const {
  for (const auto& [key, value] : Headers)
    if (SameName(key, name)) return value;
  return {};
}

bool THttpRequest::HasHeader(std::string_view name) const {
  return std::any_of(Headers.begin(), Headers.end(),
                     [&](const auto& header) { return SameName(header.first, name); });
}

void THttpResponse::SetHeader(const std::string& name, const std::string& value) {
  for (auto& header : Headers)
    if (SameName(header.first, name)) {
      header.second = value;
      return;
    }
  Headers.emplace_back(name, value);
}

bool THttpResponse::HasHeader(std::string_view name) const {
  return std::any_of(Headers.begin(), Headers.end(),
                     [&](const auto& header) { return SameName(header.first, name); });
}

void THttpExchange::Answer(THttpResponse response) {
  outcome_ = TOutcome::Answered;
  response_ = std::move(response);
}

void THttpExchange::AnswerAfter(int delayMs, THttpResponse response) {
  Answer(std::move(response));
  delayMs_ = delayMs;
}

uint64_t THttpExchange::Hold() {
  outcome_ = TOutcome::Held;
  id_ = server_->nextId_++;
  // Held at once: the answer may come before the handler returns.
  server_->held_.emplace(id_, static_cast<THttpServer::TRequest*>(held_));
  return id_;
}

uint64_t THttpExchange::Stream(THttpResponse head, std::size_t bound) {
  outcome_ = TOutcome::Streamed;
  response_ = std::move(head);
  bound_ = bound;
  id_ = server_->nextId_++;
  return id_;
}

// One TCP connection, from the library's start notice to its close notice.
struct THttpServer::TConnection {
  MHD_Connection* Handle = nullptr;
  int Fd = -1;
  std::string Address;
  TPhase Phase = TPhase::Fresh;
  std::optional<TClock::time_point> Deadline;
  TRequest* Current = nullptr;
};

// One request, from its first line to its end.
struct THttpServer::TRequest : IPollClient {
  void OnPollEvents(uint32_t) override { Server->OnClientLeft(*this); }

  THttpServer* Server = nullptr;
  TConnection* Connection = nullptr;
  MHD_Connection* Handle = nullptr;
  THttpRequest Request;
  bool Started = false;  // the head has been taken
  THttpExchange::TOutcome Outcome = THttpExchange::TOutcome::None;
  uint64_t Id = 0;  // held or streamed under it
  bool Suspended = false;
  uint64_t WatchKey = 0;  // while suspended: its connection's end, in the thread's poll
  std::optional<THttpResponse> Ready;  // a held request's answer, come
  std::function<void()> AfterAnswer;
  // A stream's bytes not yet taken by the library (from OutPos), its bound and its end.
  std::string Out;
  std::size_t OutPos = 0;
  std::size_t Bound = 0;
  bool Closing = false;
};

// The library's callbacks, with the signatures it wants.
struct THttpCallbacks {
  static THttpServer& Of(void* self) { return *static_cast<THttpServer*>(self); }

  static MHD_Result Admit(void* self, const sockaddr* address, socklen_t) {
    THttpServer& s = Of(self);
    if (s.stopping_) return MHD_NO;
    if (s.connections_.size() >= s.limits_.MaxConnections) {
      ++s.refusals_.Connections;
      return MHD_NO;
    }
    const std::string text = AddressText(address);
    auto it = s.perAddress_.find(text);
    if (text != s.exempt_ && it != s.perAddress_.end() && it->second >= s.limits_.MaxPerAddress) {
      ++s.refusals_.PerAddress;
      return MHD_NO;
    }
    return MHD_YES;
  }

  static void Notified(void* self, MHD_Connection* handle, void** socketContext,
                       MHD_ConnectionNotificationCode code) {
    THttpServer& s = Of(self);
    if (code == MHD_CONNECTION_NOTIFY_STARTED)
      s.OnStarted(handle, socketContext);
    else if (*socketContext)
      s.OnClosed(static_cast<THttpServer::TConnection*>(*socketContext));
    if (code != MHD_CONNECTION_NOTIFY_STARTED) *socketContext = nullptr;
  }

  // The request's first line has come: the request begins.
  static void* Began(void* self, const char* uri, MHD_Connection* handle) {
    THttpServer& s = Of(self);
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(handle, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    auto* connection =
        info ? static_cast<THttpServer::TConnection*>(info->socket_context) : nullptr;
    auto request = std::make_unique<THttpServer::TRequest>();
    request->Server = &s;
    request->Handle = handle;
    request->Connection = connection;
    request->Request.Target = uri ? uri : "";
    THttpServer::TRequest* made = request.get();
    s.requests_.emplace(made, std::move(request));
    if (connection) {
      if (connection->Current) s.Forget(*connection->Current);
      connection->Current = made;
      if (connection->Phase == THttpServer::TPhase::Fresh)
        connection->Phase = THttpServer::TPhase::Receiving;  // the deadline since its start
      else
        s.SetPhase(*connection, THttpServer::TPhase::Receiving);
    }
    return made;
  }

  static MHD_Result Access(void* self, MHD_Connection* handle, const char* url, const char* method,
                           const char*, const char* upload, std::size_t* uploadSize,
                           void** requestContext) {
    THttpServer& s = Of(self);
    auto* request = static_cast<THttpServer::TRequest*>(*requestContext);
    if (!request || s.stopping_) return MHD_NO;
    const bool first = !request->Started;
    if (first) {
      request->Started = true;
      THttpRequest& r = request->Request;
      r.Method = method ? method : "";
      r.Path = QByteArray::fromPercentEncoding(QByteArray(url ? url : "")).toStdString();
      if (request->Connection) r.Peer = request->Connection->Address;
      MHD_get_connection_values_n(
          handle, MHD_HEADER_KIND,
          [](void* into, MHD_ValueKind, const char* key, std::size_t keySize, const char* value,
             std::size_t valueSize) {
            static_cast<THttpRequest*>(into)->Headers.emplace_back(
                std::string(key, keySize), value ? std::string(value, valueSize) : std::string());
            return MHD_YES;
          },
          &r);
    }
    return s.OnAccess(*request, first, upload, uploadSize) ? MHD_YES : MHD_NO;
  }

  static void Completed(void* self, MHD_Connection*, void** requestContext,
                        MHD_RequestTerminationCode) {
    Of(self).OnCompleted(static_cast<THttpServer::TRequest*>(*requestContext));
    *requestContext = nullptr;
  }

  static ssize_t StreamRead(void* request, uint64_t, char* buffer, std::size_t most) {
    auto& r = *static_cast<THttpServer::TRequest*>(request);
    return r.Server->OnStreamRead(r, buffer, most);
  }

  // Escapes stay as they came: the handler decodes the path itself, bytes and all.
  static std::size_t KeepEscapes(void*, MHD_Connection*, char* text) { return std::strlen(text); }
};

THttpServer::THttpServer(THttpLimits limits, THandler handler)
    : limits_(limits), handler_(std::move(handler)) {
  runTimer_.setSingleShot(true);
  QObject::connect(&runTimer_, &QTimer::timeout, [this] { Run(); });
  const int check = std::clamp(std::min(limits_.RequestMs, limits_.IdleMs) / 4, 10, 1000);
  sweepTimer_.setInterval(check);
  QObject::connect(&sweepTimer_, &QTimer::timeout, [this] { Sweep(); });
}

THttpServer::~THttpServer() {
  stopping_ = true;
  runTimer_.stop();
  sweepTimer_.stop();
  if (!daemon_) return;
  poll_->Remove(pollKey_);
  // The library must see every suspended connection resumed before it stops.
  for (auto& [key, request] : requests_) {
    request->Closing = true;
    if (request->Suspended) Resume(*request);
  }
  MHD_run(daemon_);
  MHD_stop_daemon(daemon_);
  daemon_ = nullptr;
}

uint16_t THttpServer::Listen(const QHostAddress& address, uint16_t port) {
  sockaddr_storage where{};
  unsigned flags = MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME;
  if (address.protocol() == QAbstractSocket::IPv6Protocol) {
    auto& v6 = reinterpret_cast<sockaddr_in6&>(where);
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(port);
    const Q_IPV6ADDR bytes = address.toIPv6Address();
    std::memcpy(&v6.sin6_addr, &bytes, sizeof v6.sin6_addr);
    v6.sin6_scope_id = address.scopeId().toUInt();
    flags |= MHD_USE_IPv6;
  } else {
    auto& v4 = reinterpret_cast<sockaddr_in&>(where);
    v4.sin_family = AF_INET;
    v4.sin_port = htons(port);
    v4.sin_addr.s_addr = htonl(address.toIPv4Address());
  }
  using C = THttpCallbacks;
  daemon_ = MHD_start_daemon(
      flags, port, &C::Admit, this, &C::Access, this, MHD_OPTION_SOCK_ADDR,
      reinterpret_cast<sockaddr*>(&where), MHD_OPTION_CONNECTION_MEMORY_LIMIT,
      static_cast<std::size_t>(limits_.MaxHeadBytes + CONNECTION_MEMORY_BESIDE_HEAD),
      // Beyond ours, so that a connection over our limit is accepted and closed at once
      // rather than left waiting in the kernel's queue.
      MHD_OPTION_CONNECTION_LIMIT, static_cast<unsigned>(limits_.MaxConnections + 16),
      MHD_OPTION_CONNECTION_TIMEOUT, 0u, MHD_OPTION_NOTIFY_CONNECTION, &C::Notified, this,
      MHD_OPTION_NOTIFY_COMPLETED, &C::Completed, this, MHD_OPTION_URI_LOG_CALLBACK, &C::Began,
      this, MHD_OPTION_UNESCAPE_CALLBACK, &C::KeepEscapes, this, MHD_OPTION_END);
  if (!daemon_) return 0;
  const MHD_DaemonInfo* bound = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT);
  const MHD_DaemonInfo* epoll = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_EPOLL_FD);
  if (!bound || !epoll) {
    MHD_stop_daemon(daemon_);
    daemon_ = nullptr;
    return 0;
  }
  poll_ = TEventPoll::ForThisThread();
  pollKey_ = poll_->Add(epoll->epoll_fd, EPOLLIN, *this);
  RunSoon();
  return bound->port;
}

void THttpServer::OnPollEvents(uint32_t) {
  Run();
}

void THttpServer::Run() {
  if (!daemon_ || stopping_) return;
  MHD_run(daemon_);
  MHD_UNSIGNED_LONG_LONG wait = 0;
  if (MHD_get_timeout(daemon_, &wait) == MHD_YES)
    runTimer_.start(static_cast<int>(std::min<MHD_UNSIGNED_LONG_LONG>(wait, 1000)));
}

void THttpServer::RunSoon() {
  if (!stopping_) runTimer_.start(0);
}

void THttpServer::SetPhase(TConnection& connection, TPhase phase) {
  connection.Phase = phase;
  const auto now = TClock::now();
  switch (phase) {
    case TPhase::Fresh:
    case TPhase::Receiving:
      connection.Deadline = now + std::chrono::milliseconds(limits_.RequestMs);
      break;
    case TPhase::Idle:
    case TPhase::Answering:
      connection.Deadline = now + std::chrono::milliseconds(limits_.IdleMs);
      break;
    case TPhase::Handling:
    case TPhase::Streaming:
      connection.Deadline.reset();
      break;
  }
}

void THttpServer::Sweep() {
  const auto now = TClock::now();
  for (auto& [key, connection] : connections_) {
    if (!connection->Deadline || now < *connection->Deadline) continue;
    connection->Deadline.reset();
    ++refusals_.Deadline;
    End(*connection);
  }
}

void THttpServer::End(TConnection& connection) {
  // The library sees the end on its next turn and closes the connection the usual way.
  ::shutdown(connection.Fd, SHUT_RDWR);
  RunSoon();
}

void THttpServer::OnStarted(MHD_Connection* handle, void** socketContext) {
  auto connection = std::make_unique<TConnection>();
  connection->Handle = handle;
  if (const MHD_ConnectionInfo* info =
          MHD_get_connection_info(handle, MHD_CONNECTION_INFO_CONNECTION_FD))
    connection->Fd = info->connect_fd;
  if (const MHD_ConnectionInfo* info =
          MHD_get_connection_info(handle, MHD_CONNECTION_INFO_CLIENT_ADDRESS))
    connection->Address = AddressText(info->client_addr);
  SetPhase(*connection, TPhase::Fresh);
  ++perAddress_[connection->Address];
  *socketContext = connection.get();
  connections_.emplace(connection.get(), std::move(connection));
  if (!sweepTimer_.isActive()) sweepTimer_.start();
}

void THttpServer::OnClosed(TConnection* connection) {
  auto it = connections_.find(connection);
  if (it == connections_.end()) return;
  if (connection->Current) Forget(*connection->Current);
  auto count = perAddress_.find(connection->Address);
  if (count != perAddress_.end() && --count->second == 0) perAddress_.erase(count);
  connections_.erase(it);
  if (connections_.empty()) sweepTimer_.stop();
}

bool THttpServer::OnAccess(TRequest& request, bool first, const char* upload,
                           std::size_t* uploadSize) {
  MHD_Connection* handle = request.Handle;
  if (first) {
    // The head has come: refuse what will not do before any of the body is read.
    const MHD_ConnectionInfo* head =
        MHD_get_connection_info(handle, MHD_CONNECTION_INFO_REQUEST_HEADER_SIZE);
    if (head && head->header_size > limits_.MaxHeadBytes) {
      ++refusals_.Head;
      Queue(request, Refusal(THttpStatus::RequestHeaderFieldsTooLarge, "request head too large"));
      return true;
    }
    const char* length = MHD_lookup_connection_value(handle, MHD_HEADER_KIND, "Content-Length");
    if (length && std::strtoull(length, nullptr, 10) > limits_.MaxBodyBytes) {
      ++refusals_.Body;
      Queue(request, Refusal(THttpStatus::PayloadTooLarge, "request body too large"));
      return true;
    }
    return true;
  }
  if (*uploadSize > 0) {  // a piece of the body
    if (request.Request.Body.size() + *uploadSize > limits_.MaxBodyBytes) {
      ++refusals_.Body;  // a body without length, past the bound: no answer, the end
      return false;
    }
    request.Request.Body.append(upload, *uploadSize);
    *uploadSize = 0;
    return true;
  }
  // The whole request is here.
  if (request.Closing) return false;  // its client has left, or the server stops
  if (request.Ready) {                // a held request's answer
    THttpResponse answer = std::move(*request.Ready);
    request.Ready.reset();
    Queue(request, std::move(answer));
    return true;
  }
  if (request.Outcome == THttpExchange::TOutcome::Held) {  // woken without an answer
    Suspend(request);
    return true;
  }
  if (request.Outcome == THttpExchange::TOutcome::None) Dispatch(request);
  return true;
}

void THttpServer::Dispatch(TRequest& request) {
  if (request.Connection) SetPhase(*request.Connection, TPhase::Handling);
  THttpExchange exchange(request.Request);
  exchange.server_ = this;
  exchange.held_ = &request;
  try {
    handler_(exchange);
  } catch (const std::exception&) {
    held_.erase(exchange.id_);
    exchange.outcome_ = THttpExchange::TOutcome::None;
  }
  request.AfterAnswer = std::move(exchange.afterAnswer_);
  request.Outcome = exchange.outcome_;
  request.Id = exchange.id_;
  switch (exchange.outcome_) {
    case THttpExchange::TOutcome::Answered:
      if (exchange.delayMs_ > 0) {
        const uint64_t id = nextId_++;
        request.Id = id;
        request.Outcome = THttpExchange::TOutcome::Held;
        request.Ready = std::move(exchange.response_);
        delayed_.emplace(id, &request);
        Suspend(request);
        QTimer::singleShot(exchange.delayMs_, &runTimer_, [this, id] {
          auto it = delayed_.find(id);
          if (it == delayed_.end()) return;
          TRequest& waiting = *it->second;
          delayed_.erase(it);
          if (waiting.Suspended) Resume(waiting);
        });
        break;
      }
      Queue(request, std::move(exchange.response_));
      break;
    case THttpExchange::TOutcome::Held:
      if (request.Ready) {  // answered already
        THttpResponse answer = std::move(*request.Ready);
        request.Ready.reset();
        Queue(request, std::move(answer));
      } else {
        Suspend(request);
      }
      break;
    case THttpExchange::TOutcome::Streamed:
      streams_.emplace(request.Id, &request);
      request.Bound = exchange.bound_;
      QueueStream(request, std::move(exchange.response_));
      break;
    case THttpExchange::TOutcome::None:
      request.Outcome = THttpExchange::TOutcome::Answered;
      Queue(request, Refusal(THttpStatus::InternalServerError, "no answer"));
      break;
  }
}

void THttpServer::Queue(TRequest& request, THttpResponse response) {
  if (request.Outcome == THttpExchange::TOutcome::None)
    request.Outcome = THttpExchange::TOutcome::Answered;
  MHD_Response* made = MakeResponse(response);
  if (!made) return;
  AddHeaders(made, response);
  MHD_queue_response(request.Handle, static_cast<unsigned>(response.Status), made);
  MHD_destroy_response(made);
  if (request.Connection) SetPhase(*request.Connection, TPhase::Answering);
}

void THttpServer::QueueStream(TRequest& request, THttpResponse head) {
  request.Out = std::move(head.Body);
  request.OutPos = 0;
  MHD_Response* made = MHD_create_response_from_callback(
      MHD_SIZE_UNKNOWN, STREAM_BLOCK, &THttpCallbacks::StreamRead, &request, nullptr);
  if (!made) return;
  AddHeaders(made, head);
  MHD_queue_response(request.Handle, static_cast<unsigned>(head.Status), made);
  MHD_destroy_response(made);
  if (request.Connection) SetPhase(*request.Connection, TPhase::Streaming);
}

long THttpServer::OnStreamRead(TRequest& request, char* buffer, std::size_t most) {
  if (request.Closing) return MHD_CONTENT_READER_END_WITH_ERROR;
  const std::size_t unsent = request.Out.size() - request.OutPos;
  if (unsent == 0) {
    // Nothing to send: the connection sleeps until Write wakes it.
    request.Out.clear();
    request.OutPos = 0;
    if (!request.Suspended) Suspend(request);
    return 0;
  }
  const std::size_t n = std::min(most, unsent);
  std::memcpy(buffer, request.Out.data() + request.OutPos, n);
  request.OutPos += n;
  if (request.OutPos >= STREAM_BLOCK && request.OutPos * 2 >= request.Out.size()) {
    request.Out.erase(0, request.OutPos);
    request.OutPos = 0;
  }
  return static_cast<long>(n);
}

TStreamWrite THttpServer::Write(uint64_t stream, std::string_view bytes) {
  auto it = streams_.find(stream);
  if (it == streams_.end() || it->second->Closing) return TStreamWrite::Gone;
  TRequest& request = *it->second;
  if (request.Out.size() - request.OutPos + bytes.size() > request.Bound) {
    CloseStream(stream);
    return TStreamWrite::Overflow;
  }
  request.Out.append(bytes);
  if (request.Suspended && !bytes.empty()) Resume(request);
  return TStreamWrite::Queued;
}

void THttpServer::CloseStream(uint64_t stream) {
  auto it = streams_.find(stream);
  if (it == streams_.end()) return;
  TRequest& request = *it->second;
  streams_.erase(it);
  request.Closing = true;  // the reader ends the answer, and the library the connection
  if (request.Suspended) Resume(request);
}

std::size_t THttpServer::Unsent(uint64_t stream) const {
  auto it = streams_.find(stream);
  return it == streams_.end() ? 0 : it->second->Out.size() - it->second->OutPos;
}

bool THttpServer::Answer(uint64_t held, THttpResponse response) {
  auto it = held_.find(held);
  if (it == held_.end()) return false;
  TRequest& request = *it->second;
  held_.erase(it);
  request.Ready = std::move(response);
  if (request.Suspended) Resume(request);
  return true;
}

void THttpServer::AnswerAll(const std::function<THttpResponse()>& make) {
  std::vector<uint64_t> ids;
  for (const auto& [id, request] : held_) ids.push_back(id);
  for (uint64_t id : ids) Answer(id, make());
}

void THttpServer::Suspend(TRequest& request) {
  request.Suspended = true;
  MHD_suspend_connection(request.Handle);
  if (request.Connection && request.Connection->Fd >= 0 && request.WatchKey == 0)
    request.WatchKey = poll_->Add(request.Connection->Fd, EPOLLRDHUP, request);
}

void THttpServer::Resume(TRequest& request) {
  if (request.WatchKey != 0) poll_->Remove(std::exchange(request.WatchKey, 0));
  request.Suspended = false;
  MHD_resume_connection(request.Handle);
  RunSoon();
}

void THttpServer::OnClientLeft(TRequest& request) {
  // Nobody is there to read an answer: end the request, and the library the connection.
  request.Closing = true;
  if (request.Id != 0) {
    held_.erase(request.Id);
    streams_.erase(request.Id);
    delayed_.erase(request.Id);
  }
  if (request.Suspended) Resume(request);
}

void THttpServer::OnCompleted(TRequest* request) {
  if (!request || !requests_.count(request)) return;
  if (request->AfterAnswer && !stopping_)
    QTimer::singleShot(0, &runTimer_, std::move(request->AfterAnswer));
  if (TConnection* connection = request->Connection) {
    connection->Current = nullptr;
    SetPhase(*connection, TPhase::Idle);
  }
  Forget(*request);
}

void THttpServer::Forget(TRequest& request) {
  if (request.WatchKey != 0) poll_->Remove(std::exchange(request.WatchKey, 0));
  if (request.Id != 0) {
    held_.erase(request.Id);
    streams_.erase(request.Id);
    delayed_.erase(request.Id);
  }
  if (request.Connection && request.Connection->Current == &request)
    request.Connection->Current = nullptr;
  requests_.erase(&request);
}

}  // namespace zq
