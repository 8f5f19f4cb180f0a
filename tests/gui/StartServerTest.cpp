// "&Start Server" on a generated world and what follows: the start-up lines in order, the
// controls it changes, the progress window on the first start only, a failing start, the
// status lines with clients, "&Max. Clients: ", pausing, and shutting down; after a failing
// start the button can be pressed again.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <filesystem>

#include "tests/gui/GuiTestSupport.h"
#include "tests/support/HeldPort.h"

namespace zq::test {
namespace {

namespace fs = std::filesystem;

TEST_F(WindowTest, StartFillsTheViewInOrderAndLocksTheSettings) {
  TMainSrvForm& form = MakeForm();
  // When the first log line shows, the button is already disabled and "Status" is shown.
  bool firstLineSeen = false;
  bool startEnabledAtFirstLine = true;
  QString tabAtFirstLine;
  QObject watch;  // ends the connection with this scope
  QObject::connect(&form.LogMemo(), &QPlainTextEdit::textChanged, &watch, [&] {
    if (firstLineSeen) return;
    firstLineSeen = true;
    startEnabledAtFirstLine = Child<QPushButton>(form, "BitBtn1").isEnabled();
    tabAtFirstLine = form.Tabs().tabText(form.Tabs().currentIndex());
  });
  Start();
  EXPECT_TRUE(firstLineSeen);
  EXPECT_FALSE(startEnabledAtFirstLine);
  EXPECT_EQ(tabAtFirstLine, "Status");

  std::string port = std::to_string(form.Server().Status().ListeningPort);
  std::vector<std::string> expected = {"************************",
                                       "* Server is version 0.1.1",
                                       "* Using data from " + gameDir_ + "/",
                                       "* Initial max is 32",
                                       "Server initialization:",
                                       "Building GameDat entries in " + gameDir_ + "/SRVDAT/",
                                       "Shapes loaded.",
                                       "TFA, Chunks, Map loaded.",
                                       "IFIX Loaded.",
                                       "IREG Loaded.",
                                       "Accounts in " + gameDir_ + "/zqosrv.db, logins open.",
                                       "Server is TCP listening on " + port,
                                       "); try: zqo-bot --port " + port,
                                       "Beat is active at a 3000ms interval, with a 5 timeout."};
  std::vector<std::string> lines = ViewLines();
  ASSERT_EQ(lines.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i)
    EXPECT_TRUE(EndsWith(lines[i], expected[i])) << lines[i] << " / " << expected[i];
  // The threads' start lines come once the event loop runs, after the beat line.
  EXPECT_TRUE(Until([&] { return ViewLines().size() >= expected.size() + 2; }));
  EXPECT_TRUE(EndsInOrder(ViewLines(), expected));

  EXPECT_FALSE(Child<QPushButton>(form, "BitBtn1").isEnabled());
  EXPECT_FALSE(Child<TDirectoryListBox>(form, "DirectoryListBox1").isEnabled());
  EXPECT_FALSE(Child<QComboBox>(form, "DriveComboBox1").isEnabled());
  EXPECT_TRUE(Child<QPushButton>(form, "PauseButton").isEnabled());
  EXPECT_TRUE(Child<QPushButton>(form, "StopButton").isEnabled());
  EXPECT_TRUE(Child<QSpinBox>(form, "SpinEdit1").isEnabled());
  EXPECT_EQ(Child<QLabel>(form, "ConnectedLabel").text(), "Connected: 0/32 Clients");
  EXPECT_EQ(Child<QLabel>(form, "PeakLabel").text(), "Max Connected: 0");
  EXPECT_EQ(Child<QLineEdit>(form, "Edit2").text().toStdString(),
            form.Server().Status().GameIdentity);
  EXPECT_FALSE(form.Server().Status().GameIdentity.empty());

  // The progress window was shown for this first start, ran to its end and is hidden again.
  TIregExForm& progress = form.IregExForm();
  EXPECT_EQ(progress.TimesShown(), 1);
  EXPECT_FALSE(progress.isVisible());
  EXPECT_EQ(progress.LabelText(1), "");
  EXPECT_EQ(progress.LabelText(2), "");
  EXPECT_EQ(progress.LabelText(3), "Done.");
  EXPECT_EQ(Child<QLineEdit>(progress, "Edit1").text().toStdString(), gameDir_ + "/");
  EXPECT_EQ(progress.OutDir, gameDir_ + "/SRVDAT/");
  EXPECT_FALSE(Child<QPushButton>(progress, "Button1").isEnabled());

  // A second press does nothing.
  std::size_t before = ViewLines().size();
  form.StartServerClick();
  EXPECT_EQ(ViewLines().size(), before);
}

TEST_F(WindowTest, SecondStartOnTheSameDirectoryShowsNoProgressWindow) {
  MakeForm();
  Start();
  form_->close();
  std::string firstLog = ReadLog();
  EXPECT_NE(firstLog.find("Server shutdown."), std::string::npos);

  TMainSrvForm& again = MakeForm();
  Start();
  EXPECT_EQ(again.IregExForm().TimesShown(), 0);
  EXPECT_EQ(again.IregExForm().LabelText(3), " ");
  for (const std::string& line : ViewLines())
    EXPECT_EQ(line.find("Building GameDat entries in "), std::string::npos) << line;
  EXPECT_TRUE(EndsInOrder(ViewLines(), {"Server initialization:", "Shapes loaded."}));
}

TEST_F(WindowTest, MissingTfaBecomesAnErrorBoxAndCloseWritesNothingMore) {
  fs::remove(gameDir_ + "/STATIC/TFA.DAT");
  TMainSrvForm& form = MakeForm();
  form.StartServerClick();
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_NE(errors_[0].find("TFA.DAT"), std::string::npos) << errors_[0];
  EXPECT_FALSE(form.Server().ServerStarted());
  EXPECT_EQ(form.Server().Status().ListeningPort, 0);
  ASSERT_GE(ViewLines().size(), 2u);
  EXPECT_TRUE(EndsWith(ViewLines()[ViewLines().size() - 2], "Shapes loaded."));
  EXPECT_NE(ViewLines().back().find(" Start-up failed: "), std::string::npos)
      << "the log says why the start stopped";
  EXPECT_FALSE(form.IregExForm().isVisible());

  // The controls are as before the press; pausing does nothing on a server that never ran.
  EXPECT_TRUE(Child<QPushButton>(form, "BitBtn1").isEnabled());
  EXPECT_TRUE(Child<TDirectoryListBox>(form, "DirectoryListBox1").isEnabled());
  EXPECT_TRUE(Child<QComboBox>(form, "DriveComboBox1").isEnabled());
  EXPECT_FALSE(Child<QPushButton>(form, "PauseButton").isEnabled());
  EXPECT_FALSE(Child<QPushButton>(form, "StopButton").isEnabled());
  Child<QPushButton>(form, "PauseButton").click();
  EXPECT_EQ(Child<QPushButton>(form, "PauseButton").text(), "Pause Server");

  Until([] { return false; }, 200);  // let stray thread lines arrive, if any
  std::string log = ReadLog();
  EXPECT_TRUE(form.close());
  EXPECT_EQ(ReadLog(), log);
  EXPECT_EQ(log.find("Server shutdown."), std::string::npos);
}

TEST_F(WindowTest, BadBaseUdpPortFailsBeforeTheLog) {
  TMainSrvForm& form = MakeForm();
  Child<QLineEdit>(form, "Edit6").setText("28x00");
  form.StartServerClick();
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_NE(errors_[0].find("28x00"), std::string::npos) << errors_[0];
  EXPECT_FALSE(fs::exists(gameDir_ + "/ZQOSRV.LOG"));

  // Put right, the same window starts.
  EXPECT_TRUE(Child<QPushButton>(form, "BitBtn1").isEnabled());
  Child<QLineEdit>(form, "Edit6").setText(QString::fromStdString(baseUdpPort_));
  errors_.clear();
  Child<QPushButton>(form, "BitBtn1").click();
  EXPECT_TRUE(errors_.empty()) << errors_.front();
  EXPECT_TRUE(form.Server().ServerStarted());
}

TEST_F(WindowTest, AStartRefusedForATakenPortCanBePressedAgainOnceItIsFree) {
  THeldPort held;
  TServerSettings settings;
  settings.ListenAddress = "127.0.0.1";
  TMainSrvForm& form = MakeForm(settings);
  Child<QLineEdit>(form, "Edit5").setText(QString::number(held.Port()));
  auto& start = Child<QPushButton>(form, "BitBtn1");
  start.click();
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_NE(errors_[0].find("TCP port"), std::string::npos) << errors_[0];
  EXPECT_FALSE(form.Server().ServerStarted());
  EXPECT_TRUE(start.isEnabled());

  held.Release();
  start.click();
  EXPECT_EQ(errors_.size(), 1u) << errors_.back();
  ASSERT_TRUE(form.Server().ServerStarted());
  EXPECT_EQ(form.Server().Status().ListeningPort, held.Port());
  EXPECT_FALSE(start.isEnabled());
  EXPECT_TRUE(Child<QPushButton>(form, "StopButton").isEnabled());
  EXPECT_TRUE(Child<QPushButton>(form, "AddButton").isEnabled());
  // The log holds both runs: the failure, then a start that reached its end.
  const std::vector<std::string> lines = ViewLines();
  EXPECT_TRUE(AnyContains(lines, " Start-up failed: "));
  EXPECT_TRUE(EndsInOrder(lines, {"Server initialization:", "Server initialization:",
                                  "Server is TCP listening on " + std::to_string(held.Port())}));
  TZQClient& client = Connect();
  EXPECT_TRUE(client.Greeted());
}

// The window's wiring: its labels show the server's status lines, its fields and buttons
// reach the server. The rules behind them (a maximum of 0, refusals, the shutdown's log) are
// the server's and tested there.
TEST_F(WindowTest, StatusLabelsAndTheMaximumFieldFollowTheServer) {
  TMainSrvForm& form = MakeForm();
  Start();
  auto& connected = Child<QLabel>(form, "ConnectedLabel");
  auto& peak = Child<QLabel>(form, "PeakLabel");
  TZQClient& first = Connect();
  EXPECT_TRUE(first.Greeted());
  EXPECT_EQ(connected.text(), "Connected: 1/32 Clients");
  EXPECT_EQ(peak.text(), "Max Connected: 1");

  Child<QSpinBox>(form, "SpinEdit1").setValue(1);
  EXPECT_EQ(form.Server().Status().MaxClients, 1);
  EXPECT_EQ(connected.text(), "Connected: 1/1 Clients");

  first.Close();
  EXPECT_TRUE(Until([&] { return connected.text() == "Connected: 0/1 Clients"; }));
  EXPECT_EQ(peak.text(), "Max Connected: 1");
}

TEST_F(WindowTest, PauseButtonPausesAndResumesTheServer) {
  TMainSrvForm& form = MakeForm();
  auto& pause = Child<QPushButton>(form, "PauseButton");
  EXPECT_FALSE(pause.isEnabled()) << "nothing to pause before the start";
  Start();
  pause.click();
  EXPECT_EQ(pause.text(), "Resume Server");
  EXPECT_TRUE(form.Server().Status().Paused);
  pause.click();
  EXPECT_EQ(pause.text(), "Pause Server");
  EXPECT_FALSE(form.Server().Status().Paused);
}

TEST_F(WindowTest, StopButtonShutsTheServerDownAndClosesTheWindow) {
  TMainSrvForm& form = MakeForm();
  Start();
  TZQClient& client = Join("Stopper");
  ASSERT_EQ(client.Setup(), SetupState::InGame);
  Child<QPushButton>(form, "StopButton").click();
  EXPECT_FALSE(form.isVisible());
  EXPECT_FALSE(form.Server().ServerStarted());
  EXPECT_TRUE(Until([&] { return client.IsClosed(); }));
  EXPECT_TRUE(AnyContains(ViewLines(), "Server shutdown."));
}

}  // namespace
}  // namespace zq::test
