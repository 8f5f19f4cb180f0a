// The level of a log or console line, numbered as syslog and the journal number their
// priorities: errors 3, warnings 4, milestones 5, ordinary events 6, developers' traces 7. A
// threshold (the setting log_level: debug, info or warning) shows the lines at or above it.
// Plain values: any thread.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zq {

enum class TLogLevel { Error = 3, Warning = 4, Notice = 5, Info = 6, Debug = 7 };

// Where a part hands its lines to the log.
using TLogFunction = std::function<void(TLogLevel level, const std::string& line)>;

// Whether a line of `level` is shown under `threshold`.
constexpr bool LevelShown(TLogLevel level, TLogLevel threshold) {
  return static_cast<int>(level) <= static_cast<int>(threshold);
}

// The thresholds by name ("debug", "info", "warning"); nullopt for any other text.
std::optional<TLogLevel> ParseLogThreshold(std::string_view text);
// The name of a threshold, as ParseLogThreshold reads it back.
std::string_view LogThresholdName(TLogLevel threshold);

}  // namespace zq
