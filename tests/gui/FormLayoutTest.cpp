// The window before start: captions, fields, defaults, mnemonics, the directory chooser, the
// progress window's frame, the log view's 100-line cap, and a close that writes nothing.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTextBlock>
#include <climits>
#include <filesystem>

#include "platform/Errors.h"
#include "tests/gui/GuiTestSupport.h"

namespace zq::test {
namespace {

namespace fs = std::filesystem;

QString BuddyLabelOf(QWidget& form, QWidget& field) {
  for (QLabel* label : form.findChildren<QLabel*>())
    if (label->buddy() == &field) return label->text();
  return {};
}

TEST_F(WindowTest, CaptionsFieldsAndDefaultsBeforeStart) {
  TMainSrvForm& form = MakeForm();
  EXPECT_EQ(form.windowTitle(), "zq Server 0.1.1");
  QTabWidget& tabs = form.Tabs();
  ASSERT_EQ(tabs.count(), 5);
  EXPECT_EQ(tabs.tabText(0), "Status");
  EXPECT_EQ(tabs.tabText(1), "Setup");
  EXPECT_EQ(tabs.tabText(2), "Messages");
  EXPECT_EQ(tabs.tabText(3), "Accounts");
  EXPECT_EQ(tabs.tabText(4), "Map");
  EXPECT_EQ(tabs.tabText(tabs.currentIndex()), "Setup");

  EXPECT_EQ(Child<QLabel>(form, "ConnectedLabel").text(), "Connected: 0/0 Clients");
  EXPECT_EQ(Child<QLabel>(form, "PeakLabel").text(), "Max Connected: 0");
  TLogMemo& memo = form.LogMemo();
  EXPECT_TRUE(memo.isReadOnly());
  EXPECT_EQ(memo.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_TRUE(memo.toPlainText().isEmpty());

  auto& edit2 = Child<QLineEdit>(form, "Edit2");
  EXPECT_EQ(edit2.text(), "QUOREL7");
  EXPECT_FALSE(edit2.isEnabled());
  EXPECT_EQ(BuddyLabelOf(form, edit2), "IDENTITY is: ");
  auto& edit3 = Child<QLineEdit>(form, "Edit3");
  EXPECT_EQ(edit3.text(), "MyServer");
  EXPECT_EQ(BuddyLabelOf(form, edit3), "Server name: ");
  auto& edit5 = Child<QLineEdit>(form, "Edit5");
  EXPECT_EQ(edit5.text(), "0") << "the TCP port the form was given (the tests' any free port)";
  EXPECT_EQ(TWindowApp(TCommandLine{}).Form().findChild<QLineEdit*>("Edit5")->text(), "12578");
  EXPECT_EQ(BuddyLabelOf(form, edit5), "TCP Port: ");
  auto& edit6 = Child<QLineEdit>(form, "Edit6");
  EXPECT_EQ(edit6.text().toStdString(), baseUdpPort_);
  EXPECT_EQ(BuddyLabelOf(form, edit6), "Base UDP Port:");

  // Unbounded spin fields: the full 32-bit range.
  auto& spin1 = Child<QSpinBox>(form, "SpinEdit1");
  EXPECT_EQ(spin1.value(), 32);
  EXPECT_EQ(BuddyLabelOf(form, spin1), "&Max. Clients: ");
  auto& spin2 = Child<QSpinBox>(form, "SpinEdit2");
  auto& spin3 = Child<QSpinBox>(form, "SpinEdit3");
  EXPECT_EQ(spin2.value(), 1560);
  EXPECT_EQ(spin3.value(), 1921);
  EXPECT_EQ(BuddyLabelOf(form, spin2), "Spawn:");
  for (QSpinBox* spin : {&spin1, &spin2, &spin3}) {
    EXPECT_EQ(spin->minimum(), INT_MIN);
    EXPECT_EQ(spin->maximum(), INT_MAX);
  }

  auto& dirList = Child<TDirectoryListBox>(form, "DirectoryListBox1");
  EXPECT_EQ(BuddyLabelOf(form, dirList), "Quorel &Directory");
  EXPECT_TRUE(dirList.isEnabled());
  EXPECT_TRUE(Child<QComboBox>(form, "DriveComboBox1").isEnabled());

  auto& start = Child<QPushButton>(form, "BitBtn1");
  EXPECT_EQ(start.text(), "&Start Server");
  EXPECT_TRUE(start.isEnabled());
  EXPECT_EQ(Child<QPushButton>(form, "PauseButton").text(), "Pause Server");
  EXPECT_FALSE(Child<QPushButton>(form, "PauseButton").isEnabled());
  EXPECT_EQ(Child<QPushButton>(form, "StopButton").text(), "Stop/Shutdown");
  EXPECT_FALSE(Child<QPushButton>(form, "StopButton").isEnabled());

  for (const char* name : {"MessageEdit1", "MessageEdit2"})
    EXPECT_EQ(Child<QLineEdit>(form, name).text(), "This field not yet used.");
  for (const char* name : {"MakeCurrent1", "MakeCurrent2"})
    EXPECT_EQ(Child<QPushButton>(form, name).text(), "Make Current");

  TAccountModel& accounts = form.Accounts();
  ASSERT_EQ(accounts.columnCount(), 6);
  const char* columns[] = {"Name", "Privileges", "WX", "WY", "IP", "Ping"};
  for (int c = 0; c < 6; ++c)
    EXPECT_EQ(accounts.headerData(c, Qt::Horizontal).toString(), columns[c]);
  EXPECT_EQ(accounts.rowCount(), 0);
  EXPECT_FALSE(Child<QPushButton>(form, "AddButton").isEnabled());
  EXPECT_FALSE(Child<QPushButton>(form, "ModifyButton").isEnabled());
  EXPECT_TRUE(Child<QPushButton>(form, "DeleteButton").isEnabled());
}

TEST_F(WindowTest, SettingsPrefillTheFields) {
  EnsureGuiApp();
  TServerSettings settings;
  settings.GameDirectory = gameDir_;
  settings.ServerName = "Other";
  settings.BaseUdpPortText = "$7000";
  settings.MaxClients = -3;
  settings.SpawnX = 0;
  settings.SpawnY = 3071;
  TCommandLine commandLine;
  commandLine.Settings = settings;
  commandLine.GameDirectoryGiven = true;
  TWindowApp window(commandLine);
  TMainSrvForm& form = window.Form();
  EXPECT_EQ(Child<QLineEdit>(form, "Edit3").text(), "Other");
  EXPECT_EQ(Child<QLineEdit>(form, "Edit6").text(), "$7000");
  EXPECT_EQ(Child<QSpinBox>(form, "SpinEdit1").value(), -3);
  EXPECT_EQ(Child<QSpinBox>(form, "SpinEdit2").value(), 0);
  EXPECT_EQ(Child<QSpinBox>(form, "SpinEdit3").value(), 3071);
  EXPECT_EQ(Child<TDirectoryListBox>(form, "DirectoryListBox1").Directory(), gameDir_);
}

TEST_F(WindowTest, DirectoryChoiceBecomesTheCurrentDirectory) {
  TMainSrvForm& form = MakeForm();
  auto& list = Child<TDirectoryListBox>(form, "DirectoryListBox1");
  EXPECT_EQ(fs::current_path().string(), gameDir_);
  EXPECT_EQ(list.Directory(), gameDir_);

  // The list holds the ancestors, the directory itself (current row) and its subdirectory.
  ASSERT_GE(list.count(), 3);
  EXPECT_EQ(list.item(0)->text(), "/");
  EXPECT_EQ(list.currentItem()->text().trimmed(), "game");
  EXPECT_EQ(list.item(list.count() - 1)->text().trimmed(), "STATIC");

  // Activating an entry chooses it; the parent entry goes back up.
  emit list.itemActivated(list.item(list.count() - 1));
  EXPECT_EQ(list.Directory(), gameDir_ + "/STATIC");
  EXPECT_EQ(fs::current_path().string(), gameDir_ + "/STATIC");
  emit list.itemActivated(list.item(list.currentRow() - 1));
  EXPECT_EQ(list.Directory(), gameDir_);

  // A directory that cannot be used leaves the choice as it was.
  try {
    list.SetDirectory(gameDir_ + "/missing");
    ADD_FAILURE() << "no error for a missing directory";
  } catch (const EInOutError& e) {
    EXPECT_NE(std::string(e.what()).find(gameDir_ + "/missing"), std::string::npos) << e.what();
  }
  EXPECT_EQ(list.Directory(), gameDir_);
  EXPECT_EQ(fs::current_path().string(), gameDir_);

  // A missing game directory fails the window's construction with its name.
  try {
    MakeForm(dir_ / "nowhere");
    ADD_FAILURE() << "no error for a missing game directory";
  } catch (const EInOutError& e) {
    EXPECT_NE(std::string(e.what()).find("nowhere"), std::string::npos) << e.what();
  }
}

TEST_F(WindowTest, LogViewKeepsAtMostOneHundredLines) {
  TMainSrvForm& form = MakeForm();
  TLogMemo& memo = form.LogMemo();
  for (int i = 1; i <= 100; ++i) form.AppendToView("line " + std::to_string(i));
  EXPECT_EQ(memo.document()->blockCount(), 100);
  EXPECT_EQ(memo.document()->firstBlock().text(), "line 1");

  form.AppendToView("line 101");  // the 101st trims the view to 99
  EXPECT_EQ(memo.document()->blockCount(), 99);
  EXPECT_EQ(memo.document()->firstBlock().text(), "line 3");
  EXPECT_EQ(memo.document()->lastBlock().text(), "line 101");
  ASSERT_EQ(memo.Lines().size(), 99u);
  EXPECT_EQ(memo.Lines().front(), "line 3");

  form.AppendToView("line 102");
  EXPECT_EQ(memo.document()->blockCount(), 100);
  form.AppendToView("line 103");
  EXPECT_EQ(memo.document()->blockCount(), 99);
  EXPECT_EQ(memo.document()->firstBlock().text(), "line 5");
}

TEST_F(WindowTest, ProgressWindowFrame) {
  TMainSrvForm& form = MakeForm();
  TIregExForm& progress = form.IregExForm();
  EXPECT_FALSE(progress.isVisible());
  EXPECT_EQ(progress.windowTitle(), "Extracting INITGAME.DAT...");
  EXPECT_EQ(progress.size(), QSize(283, 167));
  Qt::WindowFlags flags = progress.windowFlags();
  EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
  EXPECT_FALSE(flags & (Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint |
                        Qt::WindowMaximizeButtonHint | Qt::WindowSystemMenuHint));
  for (int i = 1; i <= 3; ++i) {
    auto& label = Child<QLabel>(progress, ("Label" + std::to_string(i)).c_str());
    EXPECT_EQ(label.text(), " ");
    EXPECT_EQ(label.pos(), QPoint(32, 16 * i));
  }
  EXPECT_FALSE(Child<QPushButton>(progress, "Button1").isVisibleTo(&progress));
  EXPECT_EQ(Child<QPushButton>(progress, "Button1").text(), "Go");
  EXPECT_FALSE(Child<QLineEdit>(progress, "Edit1").isVisibleTo(&progress));
  EXPECT_EQ(Child<QLineEdit>(progress, "Edit1").text(), "E:\\QUOREL7\\");
  EXPECT_FALSE(Child<QLabel>(progress, "Label4").isVisibleTo(&progress));
  EXPECT_EQ(Child<QLabel>(progress, "Label4").text(), "Quorel 7 Directory");
}

TEST_F(WindowTest, ClosingBeforeStartWritesNothing) {
  TMainSrvForm& form = MakeForm();
  Child<QSpinBox>(form, "SpinEdit1").setValue(7);  // before start: no log exists yet
  EXPECT_TRUE(form.close());
  EXPECT_FALSE(form.isVisible());
  EXPECT_FALSE(fs::exists(gameDir_ + "/ZQOSRV.LOG"));
  EXPECT_TRUE(form.LogMemo().Lines().empty());
  EXPECT_TRUE(errors_.empty());
}

}  // namespace
}  // namespace zq::test
