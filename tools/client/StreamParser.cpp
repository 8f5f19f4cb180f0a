#include "tools/client/StreamParser.h"

#include "tools/client/WireFormat.h"

namespace zq {
namespace {

// Takes one whole message at `at` of `bytes`, advancing `at`.
bool TakeAt(std::string_view bytes, std::size_t& at, TWireMessage& out) {
  return wire::TakeFrame(bytes, at, out.Type, out.Payload);
}

}  // namespace

void TStreamParser::Append(std::string_view bytes) {
  // Drop what was taken before growing, so the buffer holds at most one unfinished message
  // plus the new bytes.
  if (start_ > 0) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  buffer_.append(bytes);
}

bool TStreamParser::Next(TWireMessage& out) {
  if (!TakeAt(buffer_, start_, out)) return false;
  if (start_ == buffer_.size()) Clear();
  return true;
}

void TStreamParser::Clear() {
  buffer_.clear();
  start_ = 0;
}

TDatagramParts SplitDatagram(std::string_view datagram) {
  TDatagramParts parts;
  std::size_t at = 0;
  TWireMessage m;
  while (TakeAt(datagram, at, m)) parts.Messages.push_back(std::move(m));
  parts.Stray = datagram.size() - at;
  return parts;
}

}  // namespace zq
