// The integer rule for settings and option values: an optional sign, then decimal digits or
// "$" and hexadecimal digits, within 32 bits.
#pragma once

#include <cstdint>
#include <string>

namespace zq {

// Raises EConvertError naming the text when it is not such an integer.
int32_t StrToInt(const std::string& text);

}  // namespace zq
