// The console: unstamped trace and anomaly lines on standard output, one flushed line each.
// Any thread may write; tests may capture the lines instead.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zq {

void ConsoleLine(std::string_view line);

// While an instance lives, console lines are collected here instead of printed.
class ConsoleCapture {
 public:
  ConsoleCapture();
  ~ConsoleCapture();
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;

  std::vector<std::string> Lines() const;
  // Number of lines equal to `line`.
  int Count(std::string_view line) const;
  // True when some line contains `text`.
  bool Contains(std::string_view text) const;
  void Clear();
};

}  // namespace zq
