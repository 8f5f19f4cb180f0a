#include "platform/Console.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <unordered_map>

#include "platform/Clock.h"
#include "platform/Journal.h"
#include "platform/TextEscape.h"

namespace zq {
namespace {

constexpr uint32_t DIAGNOSTIC_INTERVAL_MS = 1000;
constexpr std::size_t MAX_DIAGNOSTIC_SOURCES = 4096;  // bounded however many sources write
constexpr std::size_t MAX_DIAGNOSTIC_KINDS = 256;

// One kind from one source: when it was last printed, and what it held back since.
struct TSourceState {
  uint32_t printedAt = 0;
  uint64_t held = 0;
};

// One kind over all its sources: the second that began at `since`, what it printed and
// held back in it.
struct TKindBudget {
  uint32_t since = 0;
  int printed = 0;
  uint64_t held = 0;
  TLogLevel level = TLogLevel::Warning;  // of its last line
};

std::atomic<TLogLevel> g_threshold{TLogLevel::Info};
std::mutex g_mutex;
int g_captures = 0;
std::vector<std::string> g_captured;
std::vector<TLogLevel> g_capturedLevels;
std::unordered_map<std::string, TSourceState> g_sources;  // by kind, '\x1f', source
std::unordered_map<std::string, TKindBudget> g_kinds;

bool Shown(TLogLevel level) {
  return g_captures > 0 || LevelShown(level, g_threshold.load(std::memory_order_relaxed));
}

// Under g_mutex. Standard output carries the log's lines when headless; these go apart.
void Emit(TLogLevel level, std::string_view line) {
  if (g_captures > 0) {
    g_captured.emplace_back(line);
    g_capturedLevels.push_back(level);
    return;
  }
  const std::string safe = EscapeControl(line);  // no client text moves the terminal
  if (StderrIsJournal()) {                       // the journal stamps the line itself
    const std::string text = JournalLine(level, safe) + "\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
    return;
  }
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::size_t n = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S ", &local);
  std::fwrite(stamp, 1, n, stderr);
  std::fwrite(safe.data(), 1, safe.size(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

// Under g_mutex. Once the kind's second is over: says what it held back, and begins anew.
void Summarise(const std::string& kind, TKindBudget& budget, uint32_t now) {
  if (now - budget.since < DIAGNOSTIC_INTERVAL_MS) return;
  if (budget.held > 0)
    Emit(budget.level, std::to_string(budget.held) + " more \"" + kind + "\" lines held back");
  budget = TKindBudget{now, 0, 0, budget.level};
}

}  // namespace

void SetConsoleThreshold(TLogLevel threshold) {
  g_threshold.store(threshold, std::memory_order_relaxed);
}

void ConsoleLine(TLogLevel level, std::string_view line) {
  std::lock_guard lock(g_mutex);
  if (Shown(level)) Emit(level, line);
}

void ConsoleReport(TLogLevel level, std::string_view text) {
  std::lock_guard lock(g_mutex);
  std::string out;
  const bool journal = StderrIsJournal();
  for (std::size_t at = 0; at <= text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    const std::string_view piece = text.substr(at, end - at);
    out += journal ? JournalLine(level, piece) : std::string(piece);
    out += '\n';
    at = end + 1;
  }
  std::fwrite(out.data(), 1, out.size(), stderr);
  std::fflush(stderr);
}

void ConsoleDiagnostic(std::string_view kind, std::string_view source, std::string_view line,
                       TLogLevel level) {
  const uint32_t now = GetTickCount();
  std::lock_guard lock(g_mutex);
  if (!Shown(level)) return;
  if (g_kinds.size() >= MAX_DIAGNOSTIC_KINDS && !g_kinds.contains(std::string(kind))) {
    for (auto& [name, budget] : g_kinds) Summarise(name, budget, now);
    std::erase_if(g_kinds, [](const auto& k) { return k.second.held == 0; });
  }
  const auto kindAt = g_kinds.try_emplace(std::string(kind), TKindBudget{now, 0, 0, level}).first;
  TKindBudget& budget = kindAt->second;
  Summarise(kindAt->first, budget, now);
  budget.level = level;

  std::string key(kind);
  key += '\x1f';
  key += source;
  auto sourceAt = g_sources.find(key);
  if (sourceAt != g_sources.end() && now - sourceAt->second.printedAt < DIAGNOSTIC_INTERVAL_MS) {
    ++sourceAt->second.held;
    return;
  }
  if (budget.printed >= DIAGNOSTIC_LINES_PER_SECOND) {
    ++budget.held;
    return;
  }
  if (sourceAt == g_sources.end()) {
    if (g_sources.size() >= MAX_DIAGNOSTIC_SOURCES) {
      std::erase_if(g_sources, [&](const auto& k) {
        return now - k.second.printedAt >= DIAGNOSTIC_INTERVAL_MS;
      });
      if (g_sources.size() >= MAX_DIAGNOSTIC_SOURCES) g_sources.clear();
    }
    sourceAt = g_sources.emplace(std::move(key), TSourceState{}).first;
  }
  TSourceState& state = sourceAt->second;
  std::string text(line);
  if (state.held > 0) text += " (" + std::to_string(state.held) + " more)";
  state.printedAt = now;
  state.held = 0;
  ++budget.printed;
  std::string_view rest = text;
  for (std::size_t end; (end = rest.find('\n')) != std::string_view::npos;) {
    Emit(level, rest.substr(0, end));
    rest.remove_prefix(end + 1);
  }
  Emit(level, rest);
}

void ConsoleDiagnostic(std::string_view kind, std::string_view line, TLogLevel level) {
  ConsoleDiagnostic(kind, {}, line, level);
}

void FlushConsoleDiagnostics() {
  const uint32_t now = GetTickCount();
  std::lock_guard lock(g_mutex);
  for (auto& [name, budget] : g_kinds) Summarise(name, budget, now);
}

void ResetConsoleDiagnostics() {
  std::lock_guard lock(g_mutex);
  g_sources.clear();
  g_kinds.clear();
}

ConsoleCapture::ConsoleCapture() {
  std::lock_guard lock(g_mutex);
  if (g_captures++ == 0) {
    g_captured.clear();
    g_capturedLevels.clear();
    g_sources.clear();  // each capture starts with no line held back
    g_kinds.clear();
  }
}

ConsoleCapture::~ConsoleCapture() {
  std::lock_guard lock(g_mutex);
  --g_captures;
}

std::vector<std::string> ConsoleCapture::Lines() const {
  std::lock_guard lock(g_mutex);
  return g_captured;
}

std::vector<TLogLevel> ConsoleCapture::Levels() const {
  std::lock_guard lock(g_mutex);
  return g_capturedLevels;
}

int ConsoleCapture::Count(std::string_view line) const {
  std::lock_guard lock(g_mutex);
  int n = 0;
  for (const auto& l : g_captured) n += (l == line);
  return n;
}

int ConsoleCapture::CountContaining(std::string_view text) const {
  std::lock_guard lock(g_mutex);
  int n = 0;
  for (const auto& l : g_captured) n += l.find(text) != std::string::npos;
  return n;
}

void ConsoleCapture::Clear() {
  std::lock_guard lock(g_mutex);
  g_captured.clear();
  g_capturedLevels.clear();
}

}  // namespace zq
