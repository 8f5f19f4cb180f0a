// THttpServer: the admin API's HTTP transport, libmicrohttpd on the main thread's event loop
// (its epoll set watched through the thread's TEventPoll). It keeps every connection within
// THttpLimits: so many connections at once, in all and per address, over which a new one is
// closed at once; a request's head and body of bounded size (431 and 413 beyond); a request
// that must arrive within its deadline and a kept-alive connection that may idle so long;
// "Connection: close" ends the connection after its answer. Each whole request goes to the
// handler, which answers it at once, holds it to answer later (the connection waits, nothing
// else times it out) or answers with a stream: a body without end, written piece by piece
// with a bound on what may wait unsent. Main thread only.
#pragma once

#include <QHostAddress>
#include <QTimer>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/qt/EventPoll.h"

struct MHD_Daemon;
struct MHD_Connection;

namespace zq {

struct THttpLimits {
  std::size_t MaxHeadBytes = 16 * 1024;  // the request line, the header fields, the blank line
  std::size_t MaxBodyBytes = 64 * 1024;
  int RequestMs = 10'000;  // from a request's first line (a new connection's start) to its end
  int IdleMs = 30'000;     // a kept-alive connection between requests, an answer not taken
  unsigned MaxConnections = 64;
  unsigned MaxPerAddress = 8;
};

enum class THttpStatus {
  Ok = 200,
  Created = 201,
  BadRequest = 400,
  Unauthorized = 401,
  Forbidden = 403,
  NotFound = 404,
  MethodNotAllowed = 405,
  Conflict = 409,
  PayloadTooLarge = 413,
  TooManyRequests = 429,
  RequestHeaderFieldsTooLarge = 431,
  InternalServerError = 500,
  ServiceUnavailable = 503,
};

struct THttpRequest {
  std::string Method;  // "GET", "POST", ...
  std::string Target;  // the path and query as sent, escapes and all
  std::string Path;    // the path with its escapes decoded: bytes, a "%2F" a slash
  std::vector<std::pair<std::string, std::string>> Headers;
  std::string Body;
  std::string Peer;  // the connection's address: "127.0.0.1", "::1"
  // The first field of that name (letter case aside); empty when there is none.
  std::string Header(std::string_view name) const;
  bool HasHeader(std::string_view name) const;
};

struct THttpResponse {
  THttpStatus Status = THttpStatus::Ok;
  std::string Body;
  std::vector<std::pair<std::string, std::string>> Headers;

  // Sets the field, replacing one of that name.
  void SetHeader(const std::string& name, const std::string& value);
  bool HasHeader(std::string_view name) const;
};

enum class TStreamWrite { Queued, Gone, Overflow };

class THttpServer;

// A request in its handler: answered once, at once, later or by a stream.
class THttpExchange {
 public:
  const THttpRequest& Request() const { return request_; }
  void Answer(THttpResponse response);
  // The same answer, given only after `delayMs` (the connection waits meanwhile).
  void AnswerAfter(int delayMs, THttpResponse response);
  // Keeps the request waiting; THttpServer::Answer gives its answer under the number.
  uint64_t Hold();
  // Answers with `head` (its body is the stream's beginning) and a body without end, written
  // through THttpServer::Write under the number; at most `bound` bytes may wait unsent.
  uint64_t Stream(THttpResponse head, std::size_t bound);
  // Called once the answer has gone out (or the connection ended before).
  void AfterAnswer(std::function<void()> done) { afterAnswer_ = std::move(done); }

 private:
  friend class THttpServer;
  enum class TOutcome { None, Answered, Held, Streamed };
  explicit THttpExchange(const THttpRequest& request) : request_(request) {}

  const THttpRequest& request_;
  TOutcome outcome_ = TOutcome::None;
  THttpResponse response_;
  std::size_t bound_ = 0;
  int delayMs_ = 0;
  uint64_t id_ = 0;
  THttpServer* server_ = nullptr;
  void* held_ = nullptr;  // the server's record of the request
  std::function<void()> afterAnswer_;
};

// What the transport refused, by reason (for the metrics).
struct THttpRefusals {
  uint64_t Connections = 0;  // closed at once: MaxConnections open
  uint64_t PerAddress = 0;   // closed at once: MaxPerAddress open from that address
  uint64_t Head = 0;         // 431
  uint64_t Body = 0;         // 413, or closed when a body without length passed the bound
  uint64_t Deadline = 0;     // closed: a request late or a connection idle too long
};

class THttpServer : public IPollClient {
 public:
  using THandler = std::function<void(THttpExchange& exchange)>;

  THttpServer(THttpLimits limits, THandler handler);
  ~THttpServer();  // every connection ends, held and streamed ones too
  THttpServer(const THttpServer&) = delete;
  THttpServer& operator=(const THttpServer&) = delete;

  // A peer address the per-address limit does not apply to (a proxy in front); before Listen.
  void ExemptFromAddressLimit(std::string address) { exempt_ = std::move(address); }
  // Listens on `address`, `port` (0: any free one) and returns the port; 0 when it cannot.
  uint16_t Listen(const QHostAddress& address, uint16_t port);

  // The answer of a held request; false when it is no longer held (answered, or its client
  // has left: a held or sleeping connection is watched for its client's end).
  bool Answer(uint64_t held, THttpResponse response);
  void AnswerAll(const std::function<THttpResponse()>& make);
  std::size_t Held() const { return held_.size(); }

  // Queues bytes on a stream. Overflow: more than its bound would wait unsent, and the
  // stream is closed; Gone: it has ended.
  TStreamWrite Write(uint64_t stream, std::string_view bytes);
  void CloseStream(uint64_t stream);
  bool StreamOpen(uint64_t stream) const { return streams_.count(stream) > 0; }
  std::size_t Unsent(uint64_t stream) const;

  std::size_t Connections() const { return connections_.size(); }
  const THttpRefusals& Refusals() const { return refusals_; }

  void OnPollEvents(uint32_t events) override;

 private:
  struct TConnection;
  struct TRequest;
  enum class TPhase { Fresh, Idle, Receiving, Handling, Answering, Streaming };

  void Run();
  void RunSoon();
  void Sweep();
  void SetPhase(TConnection& connection, TPhase phase);
  void Suspend(TRequest& request);  // the library stops serving it; its client's end is watched
  void Resume(TRequest& request);
  void OnClientLeft(TRequest& request);
  void End(TConnection& connection);  // shuts its socket down; the library closes it
  void Queue(TRequest& request, THttpResponse response);
  void QueueStream(TRequest& request, THttpResponse head);
  void Dispatch(TRequest& request);
  void Forget(TRequest& request);

  friend struct THttpCallbacks;  // the library's callbacks, in HttpServer.cpp
  friend class THttpExchange;

  bool OnAccess(TRequest& request, bool first, const char* upload, std::size_t* uploadSize);
  void OnCompleted(TRequest* request);
  void OnStarted(MHD_Connection* handle, void** socketContext);
  void OnClosed(TConnection* connection);
  long OnStreamRead(TRequest& request, char* buffer, std::size_t most);

  THttpLimits limits_;
  THandler handler_;
  std::string exempt_;
  MHD_Daemon* daemon_ = nullptr;
  std::shared_ptr<TEventPoll> poll_;
  uint64_t pollKey_ = 0;
  QTimer runTimer_;
  QTimer sweepTimer_;
  bool stopping_ = false;
  uint64_t nextId_ = 1;
  std::unordered_map<const TConnection*, std::unique_ptr<TConnection>> connections_;
  std::unordered_map<std::string, unsigned> perAddress_;
  std::unordered_map<const TRequest*, std::unique_ptr<TRequest>> requests_;
  std::map<uint64_t, TRequest*> held_;
  std::map<uint64_t, TRequest*> streams_;
  std::map<uint64_t, TRequest*> delayed_;
  THttpRefusals refusals_;
};

}  // namespace zq
