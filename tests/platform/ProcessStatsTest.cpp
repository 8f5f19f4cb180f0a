// A process's figures from the kernel's texts: /proc/PID/stat, statm and each thread's status,
// parsed as written (names with spaces and parentheses, missing or broken fields), and read
// live from this process.
#include "platform/ProcessStats.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace zq {
namespace {

// Fields 3 to 24 after the name: utime 250 and stime 150 ticks, starttime 222481 ticks, vsize,
// rss pages, then more.
const char* const STAT_TAIL =
    " S 1 2 3 4 5 6 7 8 9 10 250 150 0 0 20 0 1 0 222481 3133440 390 18446744073709551615 0\n";

TEST(ProcessStats, StatGivesCpuVirtualAndResidentAfterTheCommandName) {
  const std::string stat = std::string("1234 (odd) name) ") + STAT_TAIL;
  const auto s = ParseProcStat(stat, 100, 4096);
  ASSERT_TRUE(s);
  EXPECT_DOUBLE_EQ(s->CpuSeconds, 4.0);
  EXPECT_EQ(s->VirtualBytes, 3133440u);
  EXPECT_EQ(s->ResidentBytes, 390u * 4096);
  EXPECT_DOUBLE_EQ(s->StartSeconds, 2224.81);
  // Too few fields, no name, a broken number among the ones read, no clock.
  EXPECT_FALSE(ParseProcStat("1234 (x) S 1 2 3 4 5 6 7 8 9 10 250 150 0 0 20 0 1 0 9 9", 100, 1));
  EXPECT_FALSE(ParseProcStat("garbage", 100, 4096));
  EXPECT_FALSE(ParseProcStat("1 (x) S 1 2 3 4 5 6 7 8 9 10 2x 1 0 0 0 0 0 0 0 1 1", 100, 1));
  EXPECT_FALSE(ParseProcStat("1 (x) S 1 2 3 4 5 6 7 8 9 10 2 1 0 0 0 0 0 0 0 1 -1", 100, 1));
  EXPECT_FALSE(ParseProcStat(std::string("1 (x)") + STAT_TAIL, 0, 4096));
}

TEST(ProcessStats, BootTimeIsTheBtimeLineOfProcStat) {
  EXPECT_EQ(ParseBootTime("cpu  1 2 3\nintr 5 6\nbtime 1765370000\nprocesses 77\n"), 1765370000u);
  EXPECT_FALSE(ParseBootTime("cpu 1\nbtimex 12\n"));
  EXPECT_FALSE(ParseBootTime("btime soon\n"));
  EXPECT_FALSE(ParseBootTime(""));
}

TEST(ProcessStats, OwnDescriptorsCountAnOpenedOneWithinTheLimit) {
  const TProcessStats before = ReadProcessStats();
  const int fd = ::dup(1);
  ASSERT_GE(fd, 0);
  const TProcessStats after = ReadProcessStats();
  ::close(fd);
  EXPECT_EQ(after.OpenFds, before.OpenFds + 1);
  EXPECT_GE(after.MaxFds, after.OpenFds);
  EXPECT_GT(after.StartTimeSeconds, 1.6e9);  // a Unix time, not seconds since the boot
}

TEST(ProcessStats, StatmGivesTotalAndResidentPages) {
  const auto s = ParseProcStatm("765 441 413 5 0 123 0\n", 4096);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->VirtualBytes, 765u * 4096);
  EXPECT_EQ(s->ResidentBytes, 441u * 4096);
  EXPECT_FALSE(ParseProcStatm("765\n", 4096));
  EXPECT_FALSE(ParseProcStatm("765 4x1 0\n", 4096));
}

TEST(ProcessStats, ThreadStatusGivesItsContextSwitches) {
  const std::string status =
      "Name:\tZQO SGM\nUmask:\t0022\nState:\tS (sleeping)\nTgid:\t100\nPid:\t104\n"
      "VmRSS:\t  24824 kB\nvoluntary_ctxt_switches:\t1234\nnonvoluntary_ctxt_switches:\t56\n";
  const auto t = ParseThreadStatus(status);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->Tid, 104);  // the thread's own, not the process's (Tgid)
  EXPECT_EQ(t->Name, "ZQO SGM");
  EXPECT_EQ(t->Voluntary, 1234u);  // not the "nonvoluntary_" line that ends the same way
  EXPECT_EQ(t->Involuntary, 56u);
  EXPECT_FALSE(ParseThreadStatus("Name:\tx\nPid:\t1\nvoluntary_ctxt_switches:\t1\n"));
  EXPECT_FALSE(
      ParseThreadStatus("Name:\tx\nPid:\t1\nvoluntary_ctxt_switches:\t1 kB\n"
                        "nonvoluntary_ctxt_switches:\t2\n"));
}

TEST(ProcessStats, ReadsThisProcessByPidAndItsThreads) {
  const TProcessStats self = ReadProcessStats();
  EXPECT_GT(self.ResidentBytes, 0u);
  EXPECT_GE(self.VirtualBytes, self.ResidentBytes);
  const auto byPid = ReadProcessStats(::getpid());
  ASSERT_TRUE(byPid);
  EXPECT_GT(byPid->ResidentBytes, 0u);
  EXPECT_GE(byPid->VirtualBytes, byPid->ResidentBytes);
  EXPECT_FALSE(ReadProcessStats(0));
  EXPECT_FALSE(ReadProcessStats(-1));

  // A second thread, held alive until its entry was read.
  std::atomic<bool> done{false};
  std::atomic<int> tid{0};
  std::thread other([&] {
    tid = static_cast<int>(::gettid());
    tid.notify_one();
    done.wait(false);
  });
  tid.wait(0);
  const std::vector<TThreadSwitches> threads = ReadThreadSwitches(::getpid());
  done = true;
  done.notify_one();
  other.join();
  auto has = [&](int id) {
    return std::any_of(threads.begin(), threads.end(), [&](const auto& t) { return t.Tid == id; });
  };
  EXPECT_TRUE(has(::getpid()));
  EXPECT_TRUE(has(tid.load()));
  EXPECT_TRUE(ReadThreadSwitches(0).empty());
}

}  // namespace
}  // namespace zq
