// A process's figures as the kernel keeps them: CPU time, resident and virtual memory, when it
// started, its open descriptors and their limit, and each thread's voluntary and involuntary
// context switches. Our own process through getrusage, /proc/self/statm, /proc/self/fd and
// getrlimit (cheap reads, fit for frequent scrapes of the metrics endpoint; the start time is
// read once); another process through /proc/PID/stat and /proc/PID/task/*/status. The parsers
// take the files' texts and are pure. Any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zq {

struct TProcessStats {
  double CpuSeconds = 0;       // user + system
  uint64_t ResidentBytes = 0;  // 0 when /proc cannot be read (own process)
  uint64_t VirtualBytes = 0;
  double StartSeconds = 0;  // since the machine booted (/proc/PID/stat)
  // Own process only (0 for another):
  double StartTimeSeconds = 0;  // Unix seconds; 0 when /proc cannot be read
  uint64_t OpenFds = 0;         // descriptors open now
  uint64_t MaxFds = 0;          // the soft limit of descriptors
};

// This process.
TProcessStats ReadProcessStats();
// Process `pid`, or nothing when it cannot be read (no such process, pid <= 0).
std::optional<TProcessStats> ReadProcessStats(int pid);

// The text of /proc/PID/stat: utime + stime (fields 14 and 15, clock ticks), starttime (22,
// clock ticks since the boot), vsize (23, bytes), rss (24, pages). The command name in parentheses
// may hold spaces and ')'.
std::optional<TProcessStats> ParseProcStat(std::string_view text, long ticksPerSecond,
                                           uint64_t pageSize);
// The text of /proc/stat: the "btime" line, the boot in Unix seconds.
std::optional<uint64_t> ParseBootTime(std::string_view text);
// The text of /proc/PID/statm: total and resident pages.
std::optional<TProcessStats> ParseProcStatm(std::string_view text, uint64_t pageSize);

struct TThreadSwitches {
  int Tid = 0;
  std::string Name;
  uint64_t Voluntary = 0;    // the thread gave up the CPU (waits, sleeps)
  uint64_t Involuntary = 0;  // the kernel took the CPU from it
};

// The text of /proc/PID/task/TID/status: Name, Pid (the thread's id there) and the two
// ctxt_switches lines; nothing when one is missing or not a number.
std::optional<TThreadSwitches> ParseThreadStatus(std::string_view text);
// Every thread of process `pid`, by thread id; empty when it cannot be read.
// A thread that ends while it is read is left out.
std::vector<TThreadSwitches> ReadThreadSwitches(int pid);

}  // namespace zq
