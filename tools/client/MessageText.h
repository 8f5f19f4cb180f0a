// Messages as text, field by field, the way traces print them and scripts match them:
// "LoginName Name=\"bot\"". Also the decoder of client messages, for tracing what was sent.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zq {

struct TField {
  std::string Name;   // empty: free text appended as it is
  std::string Value;  // numbers as printed; text raw
  bool IsText = false;
};

struct TMessageText {
  std::string Type;  // "LoginName", "Unknown", "Malformed"
  std::vector<TField> Fields;

  // "Type Name=Value ...", text in double quotes.
  std::string Line() const;
  // The field of that name, or nullptr.
  const TField* Find(std::string_view name) const;
};

// Printable ASCII as it is, '"' and '\' escaped, other bytes as \xHH; in double quotes.
std::string QuoteText(std::string_view text);
// Shortest exact form of 17 significant digits ("%.17g").
std::string NumberText(double v);
std::string Hex32Text(uint32_t v);  // "0x29000000"
// "03 00 00 1C 62 6F 74"
std::string HexBytes(std::string_view bytes);

// The client message of that type and payload, as the server would read it.
TMessageText ClientMessageText(uint32_t type, std::string_view payload);

}  // namespace zq
