#include "platform/Console.h"

#include <cstdio>
#include <ctime>
#include <mutex>
#include <unordered_map>

#include "platform/Clock.h"
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
};

std::mutex g_mutex;
int g_captures = 0;
std::vector<std::string> g_captured;
std::unordered_map<std::string, TSourceState> g_sources;  // by kind, '\x1f', source
std::unordered_map<std::string, TKindBudget> g_kinds;

// Under g_mutex. Standard output carries the log's lines when headless; these go apart.
void Emit(std::string_view line) {
  if (g_captures > 0) {
    g_captured.emplace_back(line);
    return;
  }
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::size_t n = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S ", &local);
  std::fwrite(stamp, 1, n, stderr);
  const std::string safe = EscapeControl(line);  // no client text moves the terminal
  std::fwrite(safe.data(), 1, safe.size(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

// Under g_mutex. Once the kind's second is over: says what it held back, and begins anew.
void Summarise(const std::string& kind, TKindBudget& budget, uint32_t now) {
  if (now - budget.since < DIAGNOSTIC_INTERVAL_MS) return;
  if (budget.held > 0) Emit(std::to_string(budget.held) + " more \"" + kind + "\" lines held back");
  budget = TKindBudget{now, 0, 0};
}

}  // namespace

void ConsoleLine(std::string_view line) {
  std::lock_guard lock(g_mutex);
  Emit(line);
}

void ConsoleDiagnostic(std::string_view kind, std::string_view source, std::string_view line) {
  const uint32_t now = GetTickCount();
  std::lock_guard lock(g_mutex);
  if (g_kinds.size() >= MAX_DIAGNOSTIC_KINDS && !g_kinds.contains(std::string(kind))) {
    for (auto& [name, budget] : g_kinds) Summarise(name, budget, now);
    std::erase_if(g_kinds, [](const auto& k) { return k.second.held == 0; });
  }
  const auto kindAt = g_kinds.try_emplace(std::string(kind), TKindBudget{now, 0, 0}).first;
  TKindBudget& budget = kindAt->second;
  Summarise(kindAt->first, budget, now);

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
    Emit(rest.substr(0, end));
    rest.remove_prefix(end + 1);
  }
  Emit(rest);
}

void ConsoleDiagnostic(std::string_view kind, std::string_view line) {
  ConsoleDiagnostic(kind, {}, line);
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
}

}  // namespace zq
