#include "tools/client/Trace.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "tools/client/MessageText.h"
#include "tools/client/WireFormat.h"

namespace zq {

std::string TimeStamp() {
  using namespace std::chrono;
  auto now = system_clock::now();
  std::time_t secs = system_clock::to_time_t(now);
  auto micros = duration_cast<microseconds>(now.time_since_epoch()).count() % 1000000;
  std::tm local{};
  localtime_r(&secs, &local);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%06lld", local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<long long>(micros));
  return buf;
}

void TTrace::Attach(TZQClient& client, const std::string& name) {
  client.SetOnSend([this, name](Via via, std::string_view bytes) { Sent(name, via, bytes); });
  client.SetOnMessage([this, name](const TReceived& r) { Received(name, r); });
}

void TTrace::Sent(const std::string& name, Via via, std::string_view bytes) {
  std::string joined;
  if (via == Via::Tcp) {
    joined = std::move(unfinishedTcp_[name]);
    joined.append(bytes);
    bytes = joined;
  }
  std::size_t at = 0;
  uint32_t type = 0;
  std::string payload;
  while (true) {
    std::size_t start = at;
    if (!wire::TakeFrame(bytes, at, type, payload)) break;
    const std::string_view frame = bytes.substr(start, at - start);
    if (type == wire::LoginPassword) {  // a trace is pasted into reports: the password stays out
      Line(name, "->", via, "LoginPassword Password=(hidden)",
           frame.substr(0, frame.size() - payload.size()));
      continue;
    }
    Line(name, "->", via, ClientMessageText(type, payload).Line(), frame);
  }
  if (at == bytes.size()) return;
  if (via == Via::Tcp)
    unfinishedTcp_[name] = std::string(bytes.substr(at));
  else
    Line(name, "->", via, "Partial bytes=" + std::to_string(bytes.size() - at), bytes.substr(at));
}

void TTrace::Received(std::string_view name, const TReceived& r) {
  std::string frame;
  if (withBytes_) frame = wire::Frame(r.Type, r.Payload);
  Line(name, "<-", r.Transport, DescribeMessage(r.Body), frame);
}

void TTrace::Line(std::string_view name, const char* arrow, Via via, const std::string& text,
                  std::string_view bytes) {
  std::string stamp = TimeStamp();
  out_ << stamp << ' ' << name << ' ' << arrow << (via == Via::Tcp ? " TCP " : " UDP ") << text
       << '\n';
  if (withBytes_) out_ << stamp << ' ' << name << "    bytes " << HexBytes(bytes) << '\n';
  out_.flush();
}

}  // namespace zq
