#include "platform/Console.h"

#include <cstdio>
#include <mutex>

namespace zq {
namespace {

std::mutex g_mutex;
int g_captures = 0;
std::vector<std::string> g_captured;

}  // namespace

void ConsoleLine(std::string_view line) {
  std::lock_guard lock(g_mutex);
  if (g_captures > 0) {
    g_captured.emplace_back(line);
    return;
  }
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

ConsoleCapture::ConsoleCapture() {
  std::lock_guard lock(g_mutex);
  if (g_captures++ == 0) g_captured.clear();
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

bool ConsoleCapture::Contains(std::string_view text) const {
  std::lock_guard lock(g_mutex);
  for (const auto& l : g_captured)
    if (l.find(text) != std::string::npos) return true;
  return false;
}

void ConsoleCapture::Clear() {
  std::lock_guard lock(g_mutex);
  g_captured.clear();
}

}  // namespace zq
