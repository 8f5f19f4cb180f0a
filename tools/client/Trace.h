// The clients' trace (zqo-bot --trace, scripts): one line per message in either direction,
// stamped with the local time, naming the client, the direction (-> sent, <- received) and the
// transport, then the message decoded field by field; with bytes, a second line holds the
// whole message in hex:
//   12:00:01.250113 bot -> TCP LoginName Name="bot"
//   12:00:01.250113 bot    bytes 03 00 00 1C 62 6F 74
#pragma once

#include <map>
#include <ostream>
#include <string>
#include <string_view>

#include "tools/client/ServerMessages.h"
#include "tools/client/ZQClient.h"

namespace zq {

class TTrace {
 public:
  TTrace(std::ostream& out, bool withBytes) : out_(out), withBytes_(withBytes) {}

  // Traces everything `client` sends and receives from now on, under `name`.
  void Attach(TZQClient& client, const std::string& name);

  // `bytes` as sent: one line per whole message. On TCP an unfinished message waits for the
  // bytes that complete it, as the server reads the stream; a datagram's bytes after its last
  // whole message are shown as "Partial bytes=N".
  void Sent(const std::string& name, Via via, std::string_view bytes);
  void Received(std::string_view name, const TReceived& message);

 private:
  void Line(std::string_view name, const char* arrow, Via via, const std::string& text,
            std::string_view bytes);

  std::ostream& out_;
  bool withBytes_;
  std::map<std::string, std::string> unfinishedTcp_;  // by client name
};

// "12:00:01.250113": the local time of day with microseconds.
std::string TimeStamp();

}  // namespace zq
