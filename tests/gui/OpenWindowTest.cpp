// The window as the program opens it: command-line flags prefill the fields, --start presses
// "&Start Server" once events run, and SIGTERM / SIGINT close the window like the operator.
#include <QLineEdit>
#include <QSpinBox>
#include <csignal>
#include <filesystem>

#include "app/WindowRun.h"
#include "tests/gui/GuiTestSupport.h"

namespace zq::test {
namespace {

TCommandLine CommandLineFor(const std::string& gameDir, const std::string& udp, bool start) {
  TCommandLine commandLine = ParseCommandLine(
      {"--game-dir", gameDir, "--server-name", "From flags", "--base-udp-port", udp,
       "--max-clients", "5", "--spawn-x", "1561", "--spawn-y", "1922", "--tcp-port", "0"});
  commandLine.Start = start;
  return commandLine;
}

TEST_F(WindowTest, StartFlagStartsAndSigtermShutsDown) {
  std::unique_ptr<TWindowApp> window = OpenWindow(CommandLineFor(gameDir_, baseUdpPort_, true));
  TMainSrvForm& form = window->Form();
  form.ReportError = [this](const std::string& text) { errors_.push_back(text); };
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(Child<QLineEdit>(form, "Edit3").text(), "From flags");
  EXPECT_EQ(Child<QLineEdit>(form, "Edit6").text().toStdString(), baseUdpPort_);
  EXPECT_EQ(Child<QSpinBox>(form, "SpinEdit1").value(), 5);
  EXPECT_EQ(Child<QSpinBox>(form, "SpinEdit2").value(), 1561);
  EXPECT_EQ(Child<QSpinBox>(form, "SpinEdit3").value(), 1922);
  EXPECT_EQ(std::filesystem::current_path().string(), gameDir_);
  EXPECT_FALSE(form.Server().StartAttempted());  // pressed once the loop runs

  ASSERT_TRUE(PumpUntil([&] { return form.Server().ServerStarted(); }));
  EXPECT_TRUE(errors_.empty());
  EXPECT_TRUE(AnyContains(ViewLinesOf(form), "* Initial max is 5"));

  ASSERT_EQ(std::raise(SIGTERM), 0);
  ASSERT_TRUE(PumpUntil([&] { return !form.isVisible(); }));
  EXPECT_FALSE(form.Server().ServerStarted());
  EXPECT_NE(ReadLog().find("Server shutdown."), std::string::npos);
}

TEST_F(WindowTest, SigintBeforeStartClosesWithoutLog) {
  std::unique_ptr<TWindowApp> window = OpenWindow(CommandLineFor(gameDir_, baseUdpPort_, false));
  TMainSrvForm& form = window->Form();
  PumpUntil([] { return false; }, 100);
  EXPECT_FALSE(form.Server().StartAttempted());
  ASSERT_EQ(std::raise(SIGINT), 0);
  ASSERT_TRUE(PumpUntil([&] { return !form.isVisible(); }));
  EXPECT_FALSE(std::filesystem::exists(gameDir_ + "/ZQOSRV.LOG"));
}

}  // namespace
}  // namespace zq::test
