#include "platform/ProcessStats.h"

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <memory>

namespace zq {
namespace {

// The whole text of a /proc file (their sizes read as 0), or nothing.
std::optional<std::string> ReadProcText(const std::string& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  std::string text(std::istreambuf_iterator<char>(in), {});
  if (in.bad()) return std::nullopt;
  return text;
}

uint64_t PageSize() {
  return static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n';
}

// Splits `text` at blanks, calling `field` with each word until it returns false.
template <typename F>
void Words(std::string_view text, F field) {
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    const std::size_t start = i;
    while (i < text.size() && !IsBlank(text[i])) ++i;
    if (start == i || !field(text.substr(start, i - start))) return;
  }
}

std::optional<uint64_t> Number(std::string_view word) {
  uint64_t v = 0;
  const auto r = std::from_chars(word.data(), word.data() + word.size(), v);
  if (r.ec != std::errc() || r.ptr != word.data() + word.size()) return std::nullopt;
  return v;
}

// The value after "\nKEY:" (or "KEY:" at the start), blanks skipped, up to the line's end.
std::optional<std::string_view> StatusValue(std::string_view text, std::string_view key) {
  std::size_t at = 0;
  while (true) {
    if (text.substr(at, key.size()) == key && at + key.size() < text.size() &&
        text[at + key.size()] == ':')
      break;
    at = text.find('\n', at);
    if (at == std::string_view::npos) return std::nullopt;
    ++at;
  }
  std::size_t i = at + key.size() + 1;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  const std::size_t end = std::min(text.find('\n', i), text.size());
  return text.substr(i, end - i);
}

}  // namespace

std::optional<TProcessStats> ParseProcStat(std::string_view text, long ticksPerSecond,
                                           uint64_t pageSize) {
  const std::size_t close = text.rfind(')');
  if (close == std::string_view::npos || ticksPerSecond <= 0) return std::nullopt;
  // The words after ')' begin with field 3 (state).
  uint64_t utime = 0, stime = 0, start = 0, vsize = 0, rss = 0;
  int field = 2;
  bool ok = true;
  Words(text.substr(close + 1), [&](std::string_view word) {
    ++field;
    uint64_t* into = field == 14   ? &utime
                     : field == 15 ? &stime
                     : field == 22 ? &start
                     : field == 23 ? &vsize
                     : field == 24 ? &rss
                                   : nullptr;
    if (into) {
      const std::optional<uint64_t> v = Number(word);
      if (!v) ok = false;
      *into = v.value_or(0);
    }
    return ok && field < 24;
  });
  if (!ok || field < 24) return std::nullopt;
  TProcessStats s;
  s.CpuSeconds = static_cast<double>(utime + stime) / static_cast<double>(ticksPerSecond);
  s.StartSeconds = static_cast<double>(start) / static_cast<double>(ticksPerSecond);
  s.VirtualBytes = vsize;
  s.ResidentBytes = rss * pageSize;
  return s;
}

std::optional<TProcessStats> ParseProcStatm(std::string_view text, uint64_t pageSize) {
  std::optional<uint64_t> pages[2];
  int got = 0;
  Words(text, [&](std::string_view word) {
    pages[got++] = Number(word);
    return pages[got - 1].has_value() && got < 2;
  });
  if (got < 2 || !pages[0] || !pages[1]) return std::nullopt;
  TProcessStats s;
  s.VirtualBytes = *pages[0] * pageSize;
  s.ResidentBytes = *pages[1] * pageSize;
  return s;
}

std::optional<uint64_t> ParseBootTime(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    const std::string_view line = text.substr(at, end - at);
    if (line.substr(0, 6) == "btime ") {
      std::string_view rest = line.substr(6);
      while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
      return Number(rest);
    }
    at = end + 1;
  }
  return std::nullopt;
}

namespace {

// When this process started, in Unix seconds; 0 when /proc cannot be read.
double OwnStartTime() {
  const std::optional<std::string> stat = ReadProcText("/proc/self/stat");
  const std::optional<std::string> system = ReadProcText("/proc/stat");
  if (!stat || !system) return 0;
  const auto own = ParseProcStat(*stat, ::sysconf(_SC_CLK_TCK), PageSize());
  const auto boot = ParseBootTime(*system);
  if (!own || !boot) return 0;
  return static_cast<double>(*boot) + own->StartSeconds;
}

uint64_t OpenDescriptors() {
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir("/proc/self/fd"), ::closedir);
  if (!dir) return 0;
  uint64_t n = 0;
  while (const dirent* entry = ::readdir(dir.get()))
    if (entry->d_name[0] != '.') ++n;
  return n > 0 ? n - 1 : 0;  // less the directory's own descriptor
}

}  // namespace

TProcessStats ReadProcessStats() {
  static const double START_TIME = OwnStartTime();
  TProcessStats s;
  if (std::optional<std::string> statm = ReadProcText("/proc/self/statm"))
    s = ParseProcStatm(*statm, PageSize()).value_or(TProcessStats{});
  s.StartTimeSeconds = START_TIME;
  s.OpenFds = OpenDescriptors();
  rlimit files{};
  if (::getrlimit(RLIMIT_NOFILE, &files) == 0) s.MaxFds = files.rlim_cur;
  rusage usage{};
  if (::getrusage(RUSAGE_SELF, &usage) == 0) {
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    s.CpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  }
  return s;
}

std::optional<TProcessStats> ReadProcessStats(int pid) {
  if (pid <= 0) return std::nullopt;
  const std::optional<std::string> stat = ReadProcText("/proc/" + std::to_string(pid) + "/stat");
  if (!stat) return std::nullopt;
  return ParseProcStat(*stat, ::sysconf(_SC_CLK_TCK), PageSize());
}

std::optional<TThreadSwitches> ParseThreadStatus(std::string_view text) {
  const auto name = StatusValue(text, "Name");
  const auto tid = StatusValue(text, "Pid");
  const auto voluntary = StatusValue(text, "voluntary_ctxt_switches");
  const auto involuntary = StatusValue(text, "nonvoluntary_ctxt_switches");
  if (!name || !tid || !voluntary || !involuntary) return std::nullopt;
  const auto tidNumber = Number(*tid);
  const auto v = Number(*voluntary);
  const auto n = Number(*involuntary);
  if (!tidNumber || !v || !n) return std::nullopt;
  return TThreadSwitches{static_cast<int>(*tidNumber), std::string(*name), *v, *n};
}

std::vector<TThreadSwitches> ReadThreadSwitches(int pid) {
  std::vector<TThreadSwitches> threads;
  if (pid <= 0) return threads;
  const std::string task = "/proc/" + std::to_string(pid) + "/task/";
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(task.c_str()), ::closedir);
  if (!dir) return threads;
  while (const dirent* entry = ::readdir(dir.get())) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    if (auto text = ReadProcText(task + entry->d_name + "/status"))
      if (auto t = ParseThreadStatus(*text)) threads.push_back(std::move(*t));
  }
  std::sort(threads.begin(), threads.end(),
            [](const TThreadSwitches& a, const TThreadSwitches& b) { return a.Tid < b.Tid; });
  return threads;
}

}  // namespace zq
