#include "platform/StrToInt.h"

#include <charconv>

#include "platform/Errors.h"

namespace zq {

int32_t StrToInt(const std::string& text) {
  std::string_view digits = text;
  bool negative = false;
  if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) {
    negative = digits[0] == '-';
    digits.remove_prefix(1);
  }
  int base = 10;
  if (!digits.empty() && digits[0] == '$') {
    base = 16;
    digits.remove_prefix(1);
  }
  int64_t value = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() ||
      value > (negative ? 2147483648LL : (base == 16 ? 4294967295LL : 2147483647LL)))
    throw EConvertError("'" + text + "' is not a valid integer value");
  return static_cast<int32_t>(negative ? -value : value);
}

}  // namespace zq
