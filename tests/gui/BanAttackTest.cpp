// Attacks on the window's "Accounts" tab: a player named like every address banned with the
// tab's "Ban", and a name that is not UTF-8 shown escaped and reached, by Ban and Modify, as
// its own bytes rather than as the name its decoding shows.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>

#include "accounts/BanList.h"
#include "tests/gui/GuiTestSupport.h"

namespace zq::test {
namespace {

class BanAttackTest : public WindowTest {
 protected:
  // Selects the row shown as `name` and waits for it if need be; false when it never shows.
  bool Select(const std::string& name) {
    TMainSrvForm& form = *form_;
    int row = -1;
    const bool shown = Until([&] {
      form.RefreshAccounts();
      const auto& rows = form.Accounts().Rows();
      for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].Name == name) row = static_cast<int>(i);
      return row >= 0;
    });
    if (shown) Child<QTreeView>(form, "ListView1").setCurrentIndex(form.Accounts().index(row, 0));
    return shown;
  }
  std::string FileName() const { return gameDir_ + "/zqosrv.db"; }
};

TEST_F(BanAttackTest, BanOnAPlayerNamedLikeEveryAddressBansThatName) {
  TMainSrvForm& form = MakeForm();
  Start();
  TZQClient& attacker = Join("0.0.0.0/0");
  TZQClient& frank = Join("frank");
  form.AskText = [](const std::string&) { return std::optional<std::string>(""); };
  ASSERT_TRUE(Select("0.0.0.0/0"));
  Child<QPushButton>(form, "BanButton").click();
  ASSERT_TRUE(Until([&] { return attacker.IsClosed(); }));
  EXPECT_TRUE(attacker.Refused());

  TAccountStore store(FileName());
  std::vector<TBan> bans = store.Bans().List();
  ASSERT_EQ(bans.size(), 1u);
  EXPECT_EQ(bans[0].Target.Kind, TBanKind::Name);
  EXPECT_EQ(bans[0].Target.Text, "0.0.0.0/0");
  EXPECT_FALSE(frank.IsClosed());
  EXPECT_EQ(Join("late").Setup(), SetupState::InGame);
  EXPECT_TRUE(errors_.empty());
}

TEST_F(BanAttackTest, ANameThatIsNotUtf8IsShownEscapedAndReachedAsItsBytes) {
  TMainSrvForm& form = MakeForm();
  Start();
  TZQClient& latin = Join("caf\xE9");
  TZQClient& replaced = Join("caf\xEF\xBF\xBD");  // what decoding the first would show
  TAccountStore store(FileName());

  // Modify: the dialog shows the escaped name and saves the account it came from.
  ASSERT_TRUE(Select("caf\\xE9"));
  Child<QPushButton>(form, "ModifyButton").click();
  TAccountDialog* dialog = form.AccountDialog();
  ASSERT_TRUE(dialog);
  EXPECT_EQ(Child<QLineEdit>(*dialog, "AccountName").text(), "caf\\xE9");
  Child<QComboBox>(*dialog, "AccountPrivileges").setCurrentIndex(1);
  dialog->accept();
  ASSERT_TRUE(Until([&] { return store.Find("caf\xE9")->Privileges == TPrivileges::Admin; }));
  EXPECT_EQ(store.Find("caf\xEF\xBF\xBD")->Privileges, TPrivileges::Player);

  // Ban: those bytes, and not the other name.
  form.AskText = [](const std::string&) { return std::optional<std::string>("1h"); };
  ASSERT_TRUE(Select("caf\\xE9"));
  Child<QPushButton>(form, "BanButton").click();
  ASSERT_TRUE(Until([&] { return latin.IsClosed(); }));
  EXPECT_TRUE(store.Bans().FindForName("caf\xE9", SystemWallClock()));
  EXPECT_FALSE(store.Bans().FindForName("caf\xEF\xBF\xBD", SystemWallClock()));
  EXPECT_FALSE(replaced.IsClosed());
  EXPECT_TRUE(errors_.empty());
}

}  // namespace
}  // namespace zq::test
