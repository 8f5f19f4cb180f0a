// Names as the operator sees and writes them. A name is bytes, stored and compared as such
// (letter case of A to Z aside); it is shown as text in which every byte that is not part of
// valid UTF-8, and every control character, is "\xHH" (two upper-case hex digits) and a
// backslash is "\\". Every name has one text, every text one name; a UTF-8 name without
// control characters or backslashes is shown as it is. Pure functions: any thread.
#pragma once

#include <string>
#include <string_view>

namespace zq {

std::string ShowName(std::string_view name);

// The name `text` shows: "\\" and "\xHH" (either case) undone. Any other backslash stays as it
// is, so a name typed with a single backslash reads as typed.
std::string ReadName(std::string_view text);

}  // namespace zq
