// Whole numbers as the plain C++ tools read them: decimal digits with an optional minus sign,
// nothing else, within a range.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zq {

std::optional<int64_t> ParseWholeNumber(std::string_view text, int64_t lo, int64_t hi);
// "'12x' is not a whole number from 1 to 65535"
std::string WholeNumberError(std::string_view text, int64_t lo, int64_t hi);

}  // namespace zq
