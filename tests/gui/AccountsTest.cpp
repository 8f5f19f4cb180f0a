// The "Accounts" tab: the rows built from the accounts and the server's status (the ping
// column's blank until the first acknowledged beat), and on a running server: a player appears with
// its position and address and leaves; "Add" and "Modify" through the dialog, "Ban", and "Delete"
// after a confirmation, which kicks the player while the others see it go.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>

#include "tests/gui/GuiTestSupport.h"
#include "tools/client/ServerMessages.h"

namespace zq::test {
namespace {

TEST(AccountList, RowsAndThePingColumn) {
  TServerStatus status;
  status.Players = std::make_shared<const TPlayerSnapshotList>(
      TPlayerSnapshotList{{7, "Ann\r\nX", 1, 1560, 1921}, {8, "Ghost", 64, 1, 2}});
  TConnectionStatus client;
  client.SocketID = 1;
  client.Address = "127.0.0.9";
  status.Connections.push_back(client);

  std::vector<TAccountRow> rows = AccountRows({}, status);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0],
            (TAccountRow{7, 1, "Ann\\x0D\\x0AX", "Player", "1560", "1921", "127.0.0.9", "", ""}));
  // A player whose connection the status does not have shows none.
  EXPECT_EQ(rows[1], (TAccountRow{8, 64, "Ghost", "Player", "1", "2", "", "", ""}));

  // Blank until a round trip is known; then in milliseconds, 0 included.
  status.Connections[0].RoundTripMs = 0;
  EXPECT_EQ(AccountRows({}, status)[0].Ping, "0");
  status.Connections[0].RoundTripMs = 12;
  EXPECT_EQ(AccountRows({}, status)[0].Ping, "12");
}

TEST(AccountList, AccountsFirstWithThoseInTheGameThenPlayersWithoutOne) {
  TServerStatus status;
  TConnectionStatus client;
  client.SocketID = 1;
  client.Address = "127.0.0.9";
  status.Connections.push_back(client);
  TAccount zed{"Zed", "h", TPrivileges::Player, 0, std::nullopt, "", 0};
  TAccount ann{"Ann", "h", TPrivileges::Admin, 0, std::nullopt, "", 0};
  status.Players = std::make_shared<const TPlayerSnapshotList>(
      TPlayerSnapshotList{{3, "Guest", 2, 5, 6}, {4, "ann", 1, 7, 8}});

  std::vector<TAccountRow> rows = AccountRows({ann, zed}, status);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], (TAccountRow{4, 1, "Ann", "Admin", "7", "8", "127.0.0.9", "", "Ann"}));
  EXPECT_EQ(rows[1], (TAccountRow{0, 0, "Zed", "Player", "", "", "", "", "Zed"}));
  EXPECT_EQ(rows[2], (TAccountRow{3, 2, "Guest", "Player", "5", "6", "", "", ""}));
}

TEST(AccountModel, KeepsTheSelectionWhileOnlyCellsChange) {
  EnsureGuiApp();
  TAccountModel model;
  QTreeView view;
  view.setModel(&model);
  model.SetRows({{1, 1, "A", "Player", "1", "2", "127.0.0.1", "", ""},
                 {2, 2, "B", "Player", "3", "4", "127.0.0.1", "", ""}});
  view.setCurrentIndex(model.index(1, 0));
  model.SetRows({{1, 1, "A", "Player", "1", "2", "127.0.0.1", "3", ""},
                 {2, 2, "B", "Player", "5", "4", "127.0.0.1", "4", ""}});
  EXPECT_EQ(view.currentIndex().row(), 1);
  EXPECT_EQ(model.data(model.index(1, 2)).toString(), "5");
  EXPECT_EQ(model.data(model.index(1, 5)).toString(), "4");
  EXPECT_FALSE(model.data(model.index(2, 0)).isValid());
  model.SetRows({{2, 2, "B", "Player", "5", "4", "127.0.0.1", "4", ""}});
  EXPECT_EQ(model.rowCount(), 1);
}

int RowOf(TMainSrvForm& form, const std::string& name) {
  const auto& rows = form.Accounts().Rows();
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (rows[i].Name == name) return static_cast<int>(i);
  return -1;
}

TEST_F(WindowTest, PlayersAppearWithPositionAndLeave) {
  TMainSrvForm& form = MakeForm();
  Start();
  TZQClient& ann = Join("Ann");
  ASSERT_EQ(ann.Setup(), SetupState::InGame);
  ASSERT_TRUE(Until([&] {
    form.RefreshAccounts();
    return RowOf(form, "Ann") >= 0;
  }));
  TAccountRow row = form.Accounts().Rows()[static_cast<std::size_t>(RowOf(form, "Ann"))];
  EXPECT_EQ(row.Privileges, "Player");
  EXPECT_EQ(row.WX, "1560");
  EXPECT_EQ(row.WY, "1921");
  EXPECT_EQ(row.IP, "127.0.0.1");
  EXPECT_EQ(row.Ping, "");  // no heartbeat cycle yet
  EXPECT_EQ(row.GUID, ann.Guid());

  // One heartbeat cycle, answered by the client: the round trip shows.
  form.Server().Running()->Connections().OnBeatTimer();
  ASSERT_TRUE(Until([&] {
    form.RefreshAccounts();
    return !form.Accounts().Rows().empty() && !form.Accounts().Rows()[0].Ping.empty();
  }));

  // Open mode records the name: the account stays listed, out of the game.
  ann.Close();
  EXPECT_TRUE(Until([&] {
    form.RefreshAccounts();
    return form.Accounts().rowCount() == 1 && form.Accounts().Rows()[0].GUID == 0;
  }));
  EXPECT_EQ(form.Accounts().Rows()[0].WX, "");
}

TEST_F(WindowTest, DeleteRemovesTheSelectedAccountAndKicksItsPlayer) {
  TMainSrvForm& form = MakeForm();
  std::vector<std::string> questions;
  bool answer = false;
  form.Confirm = [&](const std::string& question) {
    questions.push_back(question);
    return answer;
  };
  Start();
  TZQClient& ann = Join("Ann");
  TZQClient& bob = Join("Bob");
  ASSERT_EQ(bob.Setup(), SetupState::InGame);
  // The accounts are written at login, the players' list a game cycle later: wait for both.
  ASSERT_TRUE(Until([&] {
    form.RefreshAccounts();
    const std::vector<TAccountRow>& rows = form.Accounts().Rows();
    return rows.size() == 2 && rows[0].GUID != 0 && rows[1].GUID != 0;
  }));
  auto& del = Child<QPushButton>(form, "DeleteButton");
  auto& list = Child<QTreeView>(form, "ListView1");

  // Nothing selected: nothing happens.
  del.click();
  EXPECT_TRUE(questions.empty());
  Until([] { return false; }, 100);
  EXPECT_FALSE(bob.IsClosed());

  uint32_t bobGuid = bob.Guid();
  list.setCurrentIndex(form.Accounts().index(RowOf(form, "Bob"), 0));
  del.click();  // not confirmed
  Until([] { return false; }, 100);
  ASSERT_EQ(questions, std::vector<std::string>{
                           "Delete the account Bob? It is in the game and will be kicked."});
  EXPECT_FALSE(bob.IsClosed());
  answer = true;
  del.click();
  EXPECT_TRUE(Until([&] { return bob.IsClosed(); }));
  EXPECT_TRUE(bob.Refused());  // told why before the close
  EXPECT_TRUE(AnyContains(ViewLines(), "Disconnected 127.0.0.1:"));
  // The other player sees it leave; the list loses it.
  auto left = ann.WaitFor<msg::PlayerLeft>(
      WAIT_MS, [this] { Pump(); }, [&](const msg::PlayerLeft& m) { return m.GUID == bobGuid; });
  EXPECT_TRUE(left.has_value());
  EXPECT_TRUE(Until([&] {
    form.RefreshAccounts();
    return form.Accounts().rowCount() == 1;
  }));
  EXPECT_EQ(form.Accounts().Rows()[0].Name, "Ann");
  EXPECT_FALSE(ann.IsClosed());
}

TEST_F(WindowTest, AddModifyAndBanThroughTheTab) {
  TMainSrvForm& form = MakeForm();
  auto& add = Child<QPushButton>(form, "AddButton");
  EXPECT_FALSE(add.isEnabled());  // no accounts file before the start
  Start();
  ASSERT_TRUE(add.isEnabled());

  add.click();
  TAccountDialog* dialog = form.AccountDialog();
  ASSERT_TRUE(dialog && dialog->isVisible());
  Child<QLineEdit>(*dialog, "AccountName").setText("Zoe");
  Child<QLineEdit>(*dialog, "AccountPassword").setText("secret");
  Child<QLineEdit>(*dialog, "AccountAgain").setText("secreT");
  dialog->accept();
  EXPECT_TRUE(dialog->isVisible());  // refused, and says why
  EXPECT_EQ(Child<QLabel>(*dialog, "AccountProblem").text(), "The two passwords differ.");
  Child<QLineEdit>(*dialog, "AccountAgain").setText("secret");
  dialog->accept();
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(Child<QLineEdit>(*dialog, "AccountPassword").text(), "");  // not kept around
  ASSERT_TRUE(Until([&] {
    form.RefreshAccounts();
    return RowOf(form, "Zoe") >= 0;
  }));
  TAccountStore store(gameDir_ + "/zqosrv.db");
  std::optional<TAccount> zoe = store.Find("zoe");
  ASSERT_TRUE(zoe);
  EXPECT_TRUE(TArgon2Hasher().Verify(zoe->PasswordHash, "secret"));
  EXPECT_FALSE(AnyContains(ViewLines(), "secret"));

  // Modify: the name is fixed; empty passwords keep the old one.
  auto& list = Child<QTreeView>(form, "ListView1");
  list.setCurrentIndex(form.Accounts().index(RowOf(form, "Zoe"), 0));
  Child<QPushButton>(form, "ModifyButton").click();
  dialog = form.AccountDialog();
  ASSERT_TRUE(dialog && dialog->Modifies());
  EXPECT_TRUE(Child<QLineEdit>(*dialog, "AccountName").isReadOnly());
  Child<QComboBox>(*dialog, "AccountPrivileges").setCurrentIndex(1);
  dialog->accept();
  ASSERT_TRUE(Until([&] {
    form.RefreshAccounts();
    int row = RowOf(form, "Zoe");
    return row >= 0 && form.Accounts().Rows()[static_cast<std::size_t>(row)].Privileges == "Admin";
  }));
  EXPECT_EQ(store.Find("zoe")->PasswordHash, zoe->PasswordHash);

  // Ban, asked for how long.
  form.AskText = [](const std::string&) { return std::optional<std::string>("2h"); };
  list.setCurrentIndex(form.Accounts().index(RowOf(form, "Zoe"), 0));
  Child<QPushButton>(form, "BanButton").click();
  ASSERT_TRUE(Until([&] { return !store.Bans().List().empty(); }));
  TBan ban = store.Bans().List()[0];
  EXPECT_EQ(ban.Target.Text, "Zoe");
  ASSERT_TRUE(ban.Expires);
  EXPECT_EQ(*ban.Expires - ban.Created, 7200);
  EXPECT_TRUE(errors_.empty());
}

}  // namespace
}  // namespace zq::test
