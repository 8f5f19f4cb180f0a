// TServiceNotifier against a notify socket of the test's own: the exact datagrams, the
// watchdog only when asked for (and for this process), nothing at all without a socket.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/ServiceNotify.h"
#include "tests/support/NotifySocket.h"
#include "tests/support/TempDir.h"

namespace zq {
namespace {

// The service manager's socket, named by the environment while it lives.
class TManager : public test::TNotifySocket {
 public:
  explicit TManager(const std::string& name, bool abstract = false)
      : TNotifySocket(name, abstract) {
    ::setenv("NOTIFY_SOCKET", Address().c_str(), 1);
  }
  ~TManager() {
    for (const char* name : {"NOTIFY_SOCKET", "WATCHDOG_USEC", "WATCHDOG_PID"}) ::unsetenv(name);
  }
};

TEST(ServiceNotifyTest, EachStateIsOneDatagramOfItsOwn) {
  test::TempDir dir;
  TManager manager(dir / "notify");
  TServiceNotifier notifier;
  ASSERT_TRUE(notifier.Enabled());
  EXPECT_EQ(notifier.WatchdogUsec(), 0u);
  notifier.Status("Connected: 0/32 clients, Max Connected: 0");
  notifier.Ready();
  notifier.Reloading();
  notifier.Stopping();
  EXPECT_EQ(manager.Next(), "STATUS=Connected: 0/32 clients, Max Connected: 0");
  EXPECT_EQ(manager.Next(), "READY=1");
  const std::string reloading = manager.Next();
  EXPECT_EQ(reloading.rfind("RELOADING=1\nMONOTONIC_USEC=", 0), 0u) << reloading;
  EXPECT_GT(std::strtoull(reloading.c_str() + reloading.find('=', 12) + 1, nullptr, 10), 0u);
  EXPECT_EQ(manager.Next(), "STOPPING=1");
  notifier.Watchdog();  // not asked for: nothing
  EXPECT_EQ(manager.Next(200), "");
}

TEST(ServiceNotifyTest, AStatusIsSentOnceAndOnOneLine) {
  TManager manager("zqtest-notify-" + std::to_string(::getpid()), true);
  TServiceNotifier notifier;
  notifier.Status("one\ntwo\r");
  notifier.Status("one\ntwo\r");  // the same again: not sent
  notifier.Status("three");
  EXPECT_EQ(manager.Next(), "STATUS=one two ");
  EXPECT_EQ(manager.Next(), "STATUS=three");
  EXPECT_EQ(manager.Next(200), "");
}

TEST(ServiceNotifyTest, TheWatchdogIsFedOnlyWhenAskedForThisProcess) {
  test::TempDir dir;
  TManager manager(dir / "notify");
  ::setenv("WATCHDOG_USEC", "6000000", 1);
  ::setenv("WATCHDOG_PID", std::to_string(::getpid()).c_str(), 1);
  TServiceNotifier asked;
  EXPECT_EQ(asked.WatchdogUsec(), 6000000u);
  asked.Watchdog();
  EXPECT_EQ(manager.Next(), "WATCHDOG=1");

  ::setenv("WATCHDOG_PID", std::to_string(::getpid() + 1).c_str(), 1);  // another process's
  TServiceNotifier other;
  EXPECT_EQ(other.WatchdogUsec(), 0u);
  other.Watchdog();
  EXPECT_EQ(manager.Next(200), "");
}

TEST(ServiceNotifyTest, WithoutASocketNothingHappens) {
  ::unsetenv("NOTIFY_SOCKET");
  ::setenv("WATCHDOG_USEC", "6000000", 1);
  TServiceNotifier notifier;
  EXPECT_FALSE(notifier.Enabled());
  EXPECT_EQ(notifier.WatchdogUsec(), 0u);
  notifier.Ready();  // and nothing fails
  notifier.Watchdog();
  ::unsetenv("WATCHDOG_USEC");
}

}  // namespace
}  // namespace zq
