// The "Accounts" tab: the rows built from the player snapshot and the connection tables (the
// ping column's blank until the first acknowledged beat, also across a reused socket number
// and the sequence wrap), and on a running server: a player appears with its position and
// address, leaves, and "Delete" drops the selected one while the others see it go.
#include <QPushButton>
#include <QTreeView>

#include "tests/gui/GuiTestSupport.h"
#include "tools/bot/ServerMessages.h"

namespace zq::test {
namespace {

TEST(AccountList, RowsAndThePingColumn) {
  TServerTables tables;
  tables.Sockets[3].Address = "127.0.0.9";
  tables.Sockets[3].Port = 4000;
  TPlayerSnapshotList players = {{7, "Ann", 3, 1560, 1921}, {8, "Ghost", 64, 1, 2}};
  TAccountList list;

  std::vector<TAccountRow> rows = list.Rows(players, tables);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (TAccountRow{7, 3, "Ann", "Player", "1560", "1921", "127.0.0.9", ""}));
  // A socket number outside 1..63 has no connection to show.
  EXPECT_EQ(rows[1], (TAccountRow{8, 64, "Ghost", "Player", "1", "2", "", ""}));

  // UDP set up and a beat sent, not yet acknowledged: still blank.
  THeartbeatRecord& beat = tables.HeartbeatRecord[3];
  beat.UDPActive = 1;
  beat.Seq = 1;
  EXPECT_EQ(list.Rows(players, tables)[0].Ping, "");
  // Acknowledged with a round trip of 0 ms: shown, also while the next beat is pending.
  beat.AckedSeq = 1;
  EXPECT_EQ(list.Rows(players, tables)[0].Ping, "0");
  beat.Seq = 2;
  beat.RoundTrip = 12;
  EXPECT_EQ(list.Rows(players, tables)[0].Ping, "12");
  // After 255 comes 0: an acknowledged beat 0 with 0 ms stays shown.
  beat.Seq = 0;
  beat.AckedSeq = 0;
  beat.RoundTrip = 0;
  EXPECT_EQ(list.Rows(players, tables)[0].Ping, "0");

  // The number taken by a new connection: blank again until its own first acknowledgement.
  tables.Sockets[3].Port = 4001;
  beat = THeartbeatRecord{};
  beat.UDPActive = 1;
  beat.Seq = 1;
  EXPECT_EQ(list.Rows(players, tables)[0].Ping, "");
  // A closed connection clears the entry.
  beat.AckedSeq = 1;
  beat.RoundTrip = 5;
  EXPECT_EQ(list.Rows(players, tables)[0].Ping, "5");
  tables.Sockets[3].Address.clear();
  beat = THeartbeatRecord{};
  rows = list.Rows(players, tables);
  EXPECT_EQ(rows[0].IP, "");
  EXPECT_EQ(rows[0].Ping, "");
}

TEST(AccountModel, KeepsTheSelectionWhileOnlyCellsChange) {
  EnsureGuiApp();
  TAccountModel model;
  QTreeView view;
  view.setModel(&model);
  model.SetRows({{1, 1, "A", "Player", "1", "2", "127.0.0.1", ""},
                 {2, 2, "B", "Player", "3", "4", "127.0.0.1", ""}});
  view.setCurrentIndex(model.index(1, 0));
  model.SetRows({{1, 1, "A", "Player", "1", "2", "127.0.0.1", "3"},
                 {2, 2, "B", "Player", "5", "4", "127.0.0.1", "4"}});
  EXPECT_EQ(view.currentIndex().row(), 1);
  EXPECT_EQ(model.data(model.index(1, 2)).toString(), "5");
  EXPECT_EQ(model.data(model.index(1, 5)).toString(), "4");
  EXPECT_FALSE(model.data(model.index(2, 0)).isValid());
  model.SetRows({{2, 2, "B", "Player", "5", "4", "127.0.0.1", "4"}});
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
  form.Server().BeatTimerTimer();
  ASSERT_TRUE(Until([&] {
    form.RefreshAccounts();
    return !form.Accounts().Rows().empty() && !form.Accounts().Rows()[0].Ping.empty();
  }));

  ann.Close();
  EXPECT_TRUE(Until([&] {
    form.RefreshAccounts();
    return form.Accounts().rowCount() == 0;
  }));
}

TEST_F(WindowTest, DeleteDropsTheSelectedPlayer) {
  TMainSrvForm& form = MakeForm();
  Start();
  TZQClient& ann = Join("Ann");
  TZQClient& bob = Join("Bob");
  ASSERT_EQ(bob.Setup(), SetupState::InGame);
  ASSERT_TRUE(Until([&] {
    form.RefreshAccounts();
    return form.Accounts().rowCount() == 2;
  }));
  auto& del = Child<QPushButton>(form, "DeleteButton");
  auto& list = Child<QTreeView>(form, "ListView1");

  // Nothing selected: nothing happens.
  del.click();
  Until([] { return false; }, 100);
  EXPECT_FALSE(bob.IsClosed());

  uint32_t bobGuid = bob.Guid();
  list.setCurrentIndex(form.Accounts().index(RowOf(form, "Bob"), 0));
  del.click();
  EXPECT_TRUE(Until([&] { return bob.IsClosed(); }));
  EXPECT_TRUE(AnyContains(ViewLines(), "Disconnected 127.0.0.1:"));
  // The other player sees it leave; the list loses it.
  auto left = ann.WaitFor<msg::PlayerLeft>(
      kWaitMs, [this] { Pump(); }, [&](const msg::PlayerLeft& m) { return m.GUID == bobGuid; });
  EXPECT_TRUE(left.has_value());
  EXPECT_TRUE(Until([&] {
    form.RefreshAccounts();
    return form.Accounts().rowCount() == 1;
  }));
  EXPECT_EQ(form.Accounts().Rows()[0].Name, "Ann");
  EXPECT_FALSE(ann.IsClosed());
}

}  // namespace
}  // namespace zq::test
