#include "tools/cli/WholeNumber.h"

#include <charconv>

namespace zq {

std::optional<int64_t> ParseWholeNumber(std::string_view text, int64_t lo, int64_t hi) {
  int64_t v = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, v);
  if (text.empty() || ec != std::errc() || ptr != end || v < lo || v > hi) return std::nullopt;
  return v;
}

std::string WholeNumberError(std::string_view text, int64_t lo, int64_t hi) {
  return "'" + std::string(text) + "' is not a whole number from " + std::to_string(lo) + " to " +
         std::to_string(hi);
}

}  // namespace zq
