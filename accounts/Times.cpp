#include "accounts/Times.h"

#include <charconv>
#include <chrono>
#include <ctime>

namespace zq {

int64_t SystemWallClock() {
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

std::optional<int64_t> ParseDuration(std::string_view text) {
  if (text.size() < 2) return std::nullopt;
  int64_t unit = 0;
  switch (text.back()) {
    case 's':
    case 'S':
      unit = 1;
      break;
    case 'm':
    case 'M':
      unit = 60;
      break;
    case 'h':
    case 'H':
      unit = 3600;
      break;
    case 'd':
    case 'D':
      unit = 86400;
      break;
    default:
      return std::nullopt;
  }
  std::string_view digits = text.substr(0, text.size() - 1);
  if (digits.empty() || digits.front() < '0' || digits.front() > '9') return std::nullopt;
  int64_t count = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), count);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  if (count <= 0 || count > MAX_DURATION_SECONDS / unit) return std::nullopt;
  return count * unit;
}

std::string FormatDuration(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  static constexpr struct {
    int64_t Size;
    char Letter;
  } units[] = {{86400, 'd'}, {3600, 'h'}, {60, 'm'}, {1, 's'}};
  for (std::size_t i = 0; i < std::size(units); ++i) {
    if (seconds < units[i].Size && units[i].Size > 1) continue;
    std::string text = std::to_string(seconds / units[i].Size) + units[i].Letter;
    if (i + 1 < std::size(units)) {
      int64_t rest = seconds % units[i].Size / units[i + 1].Size;
      if (rest > 0) text += " " + std::to_string(rest) + units[i + 1].Letter;
    }
    return text;
  }
  return "0s";
}

std::string FormatTime(int64_t unixSeconds) {
  std::time_t t = static_cast<std::time_t>(unixSeconds);
  std::tm local{};
  if (!localtime_r(&t, &local)) return std::to_string(unixSeconds);
  char text[32];
  std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
  return std::string(text, n);
}

}  // namespace zq
