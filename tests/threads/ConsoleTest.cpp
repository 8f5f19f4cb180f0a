// ConsoleDiagnostic's two limits on a clock set by hand: once a second for each kind and
// source, and a budget for each kind over all its sources with its one summary line, also
// when several threads write at once.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/Console.h"
#include "tests/support/FakeClock.h"

namespace zq {
namespace {

using test::FakeClock;

TEST(ConsoleDiagnosticTest, EachSourceOnceASecondAndItsHeldLinesCountedOnItsNextLine) {
  FakeClock clock(5000);
  ConsoleCapture console;
  ConsoleDiagnostic("udp invalid", "10.0.0.1", "from 10.0.0.1");
  ConsoleDiagnostic("udp invalid", "10.0.0.1", "from 10.0.0.1");
  ConsoleDiagnostic("udp invalid", "10.0.0.1", "from 10.0.0.1");
  ConsoleDiagnostic("udp invalid", "10.0.0.2", "from 10.0.0.2");  // another source
  ConsoleDiagnostic("no guid", "GUID not in sockets table!");     // another kind
  clock.Advance(999);
  ConsoleDiagnostic("udp invalid", "10.0.0.1", "from 10.0.0.1");
  clock.Advance(1);
  ConsoleDiagnostic("udp invalid", "10.0.0.1", "from 10.0.0.1");
  EXPECT_EQ(console.Lines(),
            (std::vector<std::string>{"from 10.0.0.1", "from 10.0.0.2",
                                      "GUID not in sockets table!", "from 10.0.0.1 (3 more)"}));
}

// Each line keeps the level it was written with: diagnostics are warnings unless told, and a
// kind's summary has the level of the kind's lines.
TEST(ConsoleDiagnosticTest, LinesKeepTheirLevelsAndASummaryItsKinds) {
  FakeClock clock(5000);
  ConsoleCapture console;
  ConsoleLine(TLogLevel::Debug, "* ok");
  ConsoleDiagnostic("udp invalid", "1", "from 1");
  for (int n = 0; n <= DIAGNOSTIC_LINES_PER_SECOND; ++n)
    ConsoleDiagnostic("game check", std::to_string(n), "check " + std::to_string(n),
                      TLogLevel::Error);
  clock.Advance(1000);
  FlushConsoleDiagnostics();
  const std::vector<std::string> lines = console.Lines();
  const std::vector<TLogLevel> levels = console.Levels();
  ASSERT_EQ(lines.size(), levels.size());
  ASSERT_EQ(lines.size(), DIAGNOSTIC_LINES_PER_SECOND + 3u);
  EXPECT_EQ(levels[0], TLogLevel::Debug);
  EXPECT_EQ(levels[1], TLogLevel::Warning);
  EXPECT_EQ(levels[2], TLogLevel::Error);
  EXPECT_EQ(lines.back(), "1 more \"game check\" lines held back");
  EXPECT_EQ(levels.back(), TLogLevel::Error);
}

TEST(ConsoleDiagnosticTest, AKindPrintsItsBudgetASecondThenOneSummaryOfTheRest) {
  FakeClock clock(0xFFFFFF00u);  // the tick count wraps within the test
  ConsoleCapture console;
  auto flood = [](int from, int count) {
    for (int n = from; n < from + count; ++n)
      ConsoleDiagnostic("udp invalid", std::to_string(n), "from " + std::to_string(n));
  };
  flood(0, 20000);
  ConsoleDiagnostic("udp incomplete", "1", "incomplete from 1");  // its own budget
  std::vector<std::string> lines = console.Lines();
  ASSERT_EQ(lines.size(), DIAGNOSTIC_LINES_PER_SECOND + 1u);
  EXPECT_EQ(lines.front(), "from 0");
  EXPECT_EQ(lines[DIAGNOSTIC_LINES_PER_SECOND - 1], "from 19");
  EXPECT_EQ(lines.back(), "incomplete from 1");

  // Within the second nothing more; after it, the summary comes before the next line.
  clock.Advance(999);
  FlushConsoleDiagnostics();
  EXPECT_EQ(console.Lines().size(), lines.size());
  clock.Advance(1);
  flood(20000, 1);
  lines = console.Lines();
  ASSERT_EQ(lines.size(), DIAGNOSTIC_LINES_PER_SECOND + 3u);
  EXPECT_EQ(lines[lines.size() - 2], "19980 more \"udp invalid\" lines held back");
  EXPECT_EQ(lines.back(), "from 20000");

  // A burst's last second is told by the caller that flushes every second, once.
  console.Clear();
  flood(30000, 25);
  clock.Advance(1000);
  FlushConsoleDiagnostics();
  FlushConsoleDiagnostics();
  lines = console.Lines();
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(DIAGNOSTIC_LINES_PER_SECOND));
  EXPECT_EQ(lines.back(), "6 more \"udp invalid\" lines held back")
      << "one line of the 25 went into the last second's budget";
}

// Four threads flood one kind at once: the budget holds for all of them together and the
// summary counts every line held back, none twice.
TEST(ConsoleDiagnosticTest, TheBudgetHoldsForManyThreadsAtOnce) {
  FakeClock clock(1000);
  ConsoleCapture console;
  constexpr int THREADS = 4, EACH = 2000;
  std::vector<std::thread> writers;
  for (int t = 0; t < THREADS; ++t)
    writers.emplace_back([t] {
      for (int n = 0; n < EACH; ++n) {
        const std::string source = std::to_string(t) + "." + std::to_string(n);
        ConsoleDiagnostic("udp invalid", source, "from " + source);
      }
    });
  for (std::thread& w : writers) w.join();
  EXPECT_EQ(console.Lines().size(), static_cast<std::size_t>(DIAGNOSTIC_LINES_PER_SECOND));
  clock.Advance(1000);
  FlushConsoleDiagnostics();
  EXPECT_EQ(console.Lines().back(), std::to_string(THREADS * EACH - DIAGNOSTIC_LINES_PER_SECOND) +
                                        " more \"udp invalid\" lines held back");
}

}  // namespace
}  // namespace zq
