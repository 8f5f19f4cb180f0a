#include "platform/LogLevel.h"

namespace zq {

std::optional<TLogLevel> ParseLogThreshold(std::string_view text) {
  if (text == "debug") return TLogLevel::Debug;
  if (text == "info") return TLogLevel::Info;
  if (text == "warning") return TLogLevel::Warning;
  return std::nullopt;
}

std::string_view LogThresholdName(TLogLevel threshold) {
  switch (threshold) {
    case TLogLevel::Debug:
      return "debug";
    case TLogLevel::Warning:
      return "warning";
    default:
      return "info";
  }
}

}  // namespace zq
