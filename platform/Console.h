// The console: trace and anomaly lines on standard error, one flushed line each, stamped with
// the local time and escaped. ConsoleLine prints every line; ConsoleDiagnostic prints each
// kind at most once a second, counting what it held back. Any thread may write; tests may
// capture the lines (unstamped) instead.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zq {

void ConsoleLine(std::string_view line);

// Prints "<date> <time> <line>" unless a line of the same `kind` was printed less than a
// second ago (GetTickCount); held-back lines are counted and the next printed line of that
// kind ends with " (N more)". Kinds are free text, e.g. "rate 10.0.0.1:4000". A line with
// "\n" in it prints as several lines, all stamped.
void ConsoleDiagnostic(std::string_view kind, std::string_view line);

// Forgets the held-back counts (tests).
void ResetConsoleDiagnostics();

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
  // Number of lines that contain `text`.
  int CountContaining(std::string_view text) const;
  // True when some line contains `text`.
  bool Contains(std::string_view text) const { return CountContaining(text) > 0; }
  void Clear();
};

}  // namespace zq
