// The bot's trace: one line per message in either direction, stamped with the local time,
// naming the client, the direction (-> sent, <- received) and the transport, then the message
// decoded field by field; with bytes, a second line holds the whole message in hex:
//   12:00:01.250113 bot -> TCP LoginName Name="bot"
//   12:00:01.250113 bot    bytes 03 00 00 1C 62 6F 74
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "tools/bot/ServerMessages.h"
#include "tools/bot/ZQClient.h"

namespace zq {

class TTrace {
 public:
  TTrace(std::ostream& out, bool withBytes) : out_(out), withBytes_(withBytes) {}

  // Traces everything `client` sends and receives from now on, under `name`.
  void Attach(TZQClient& client, const std::string& name);

  // `bytes` as sent: one line per whole message; bytes after the last one are shown as such.
  void Sent(std::string_view name, Via via, std::string_view bytes);
  void Received(std::string_view name, const TReceived& message);

 private:
  void Line(std::string_view name, const char* arrow, Via via, const std::string& text,
            std::string_view bytes);

  std::ostream& out_;
  bool withBytes_;
};

// "12:00:01.250113": the local time of day with microseconds.
std::string TimeStamp();

}  // namespace zq
