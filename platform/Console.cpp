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
constexpr std::size_t MAX_DIAGNOSTIC_KINDS = 4096;  // bounded even when kinds name sources

struct TKindState {
  uint32_t printedAt = 0;
  uint64_t held = 0;
};

std::mutex g_mutex;
int g_captures = 0;
std::vector<std::string> g_captured;
std::unordered_map<std::string, TKindState> g_kinds;

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

}  // namespace

void ConsoleLine(std::string_view line) {
  std::lock_guard lock(g_mutex);
  Emit(line);
}

void ConsoleDiagnostic(std::string_view kind, std::string_view line) {
  const uint32_t now = GetTickCount();
  std::lock_guard lock(g_mutex);
  if (g_kinds.size() >= MAX_DIAGNOSTIC_KINDS) {
    std::erase_if(
        g_kinds, [&](const auto& k) { return now - k.second.printedAt >= DIAGNOSTIC_INTERVAL_MS; });
    if (g_kinds.size() >= MAX_DIAGNOSTIC_KINDS) g_kinds.clear();
  }
  auto [it, fresh] = g_kinds.try_emplace(std::string(kind));
  TKindState& state = it->second;
  if (!fresh && now - state.printedAt < DIAGNOSTIC_INTERVAL_MS) {
    ++state.held;
    return;
  }
  std::string text(line);
  if (state.held > 0) text += " (" + std::to_string(state.held) + " more)";
  state.printedAt = now;
  state.held = 0;
  std::string_view rest = text;
  for (std::size_t end; (end = rest.find('\n')) != std::string_view::npos;) {
    Emit(rest.substr(0, end));
    rest.remove_prefix(end + 1);
  }
  Emit(rest);
}

void ResetConsoleDiagnostics() {
  std::lock_guard lock(g_mutex);
  g_kinds.clear();
}

ConsoleCapture::ConsoleCapture() {
  std::lock_guard lock(g_mutex);
  if (g_captures++ == 0) {
    g_captured.clear();
    g_kinds.clear();  // each capture starts with no line held back
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
