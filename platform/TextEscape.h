// Client text made safe to show: control characters (below 0x20, and 0x7F) become "\xNN";
// every other byte, UTF-8 included, stays as it is.
#pragma once

#include <string>
#include <string_view>

namespace zq {

std::string EscapeControl(std::string_view text);

}  // namespace zq
