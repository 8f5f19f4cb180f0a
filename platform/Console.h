// The console: trace and anomaly lines on standard error, one flushed line each, stamped with
// the local time and escaped; under the journal (JOURNAL_STREAM, platform/Journal.h) each begins
// with its level's priority instead of the stamp. Lines below the threshold (SetConsoleThreshold,
// info at first) are left out. ConsoleLine prints every line; ConsoleDiagnostic prints each
// kind at most once a second for each source and at most 20 lines a second of a kind in all,
// counting what it held back. Any thread may write; tests may capture the lines (unstamped,
// whatever the threshold) instead.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/LogLevel.h"

namespace zq {

// The lowest level printed from now on; info at first (debug: everything).
void SetConsoleThreshold(TLogLevel threshold);

void ConsoleLine(TLogLevel level, std::string_view line);

// A report to whoever started the process ("Start-up failed: ..."): printed as it is, without a
// stamp, whatever the threshold, with its priority under the journal; never captured.
void ConsoleReport(TLogLevel level, std::string_view text);

// Most lines of one kind printed in a second, over all its sources.
constexpr int DIAGNOSTIC_LINES_PER_SECOND = 20;

// Prints "<date> <time> <line>" unless a line of the same `kind` and `source` was printed
// less than a second ago (GetTickCount); such held-back lines are counted and the next
// printed line of that kind and source ends with " (N more)". Beyond that, a kind prints at
// most DIAGNOSTIC_LINES_PER_SECOND lines a second whatever their sources; what it holds back
// then is told once its second is over, in one line: "N more "<kind>" lines held back".
// Kinds are fixed texts ("udp invalid"), sources what the line is about ("10.0.0.1:4000").
// A line with "\n" in it prints as several lines, all stamped. Diagnostics are warnings unless
// `level` says otherwise; the summary of a kind has the level of its last line.
void ConsoleDiagnostic(std::string_view kind, std::string_view source, std::string_view line,
                       TLogLevel level = TLogLevel::Warning);
// A kind that has one source.
void ConsoleDiagnostic(std::string_view kind, std::string_view line,
                       TLogLevel level = TLogLevel::Warning);

// Prints the summaries of the kinds whose second is over; ConsoleDiagnostic prints a kind's
// own summary with its next line, and a caller that runs every second calls this so that the
// last one of a burst is not held back until then.
void FlushConsoleDiagnostics();

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
  // The level of each line, in the same order.
  std::vector<TLogLevel> Levels() const;
  // Number of lines equal to `line`.
  int Count(std::string_view line) const;
  // Number of lines that contain `text`.
  int CountContaining(std::string_view text) const;
  // True when some line contains `text`.
  bool Contains(std::string_view text) const { return CountContaining(text) > 0; }
  void Clear();
};

}  // namespace zq
