// Times of the accounts file: Unix seconds from a wall clock that tests replace, ban and
// play-time durations written as "30s", "10m", "2h" or "7d", and the forms listings show.
// Any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zq {

// Unix seconds now. Any thread.
using TWallClock = std::function<int64_t()>;
int64_t SystemWallClock();

// The longest duration accepted: ten years (leave a ban's duration out to make it permanent).
constexpr int64_t MAX_DURATION_SECONDS = 3650LL * 24 * 3600;

// A positive whole number followed by one unit, s, m, h or d (either letter case), at most
// MAX_DURATION_SECONDS: "30s" is 30, "10m" 600, "2h" 7200, "7d" 604800. Empty otherwise,
// including for a number without a unit.
std::optional<int64_t> ParseDuration(std::string_view text);

// Seconds in at most two units: "45s", "5m 3s", "2h 5m", "3d 4h"; 0 is "0s".
std::string FormatDuration(int64_t seconds);

// A moment in local time as "YYYY-MM-DD HH:MM".
std::string FormatTime(int64_t unixSeconds);

}  // namespace zq
