// Cuts received bytes into messages: a TCP stream parser that keeps an unfinished message
// across reads, and the splitting of one datagram into its whole messages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zq {

struct TWireMessage {
  uint32_t Type = 0;  // header word AND 0xFFFF0000
  std::string Payload;
};

class TStreamParser {
 public:
  void Append(std::string_view bytes);
  // Takes the next whole message from the front; false when none is complete yet.
  bool Next(TWireMessage& out);
  // Bytes held that do not yet form a whole message.
  std::size_t Pending() const { return buffer_.size() - start_; }
  void Clear();

 private:
  std::string buffer_;
  std::size_t start_ = 0;  // taken bytes before this are dropped lazily
};

struct TDatagramParts {
  std::vector<TWireMessage> Messages;
  // Bytes after the last whole message (the whole datagram when it does not start with one).
  std::size_t Stray = 0;
};

TDatagramParts SplitDatagram(std::string_view datagram);

}  // namespace zq
