// The "Accounts" tab: the rows built from the player snapshot and the connection records (the
// ping column's blank until the first acknowledged beat, also across a reused socket number),
// and on a running server: a player appears with its position and
// address, leaves, and "Delete" drops the selected one while the others see it go.
#include <QPushButton>
#include <QTreeView>

#include "tests/gui/GuiTestSupport.h"
#include "tools/bot/ServerMessages.h"

namespace zq::test {
namespace {

class FakeConnection : public ITcpConnection {
 public:
  FakeConnection(std::string address, uint16_t port) : address_(std::move(address)), port_(port) {}
  const std::string& RemoteAddress() const override { return address_; }
  uint16_t RemotePort() const override { return port_; }
  void SendText(std::string_view) override {}
  std::string ReceiveText(std::size_t) override { return {}; }
  void Close() override {}

 private:
  std::string address_;
  uint16_t port_;
};

TEST(AccountList, RowsAndThePingColumn) {
  TSocketTable sockets;
  FakeConnection conn("127.0.0.9", 4000);
  TSocketID& client = sockets.AddSocket(conn);
  TPlayerSnapshotList players = {{7, "Ann\r\nX", 1, 1560, 1921}, {8, "Ghost", 64, 1, 2}};

  std::vector<TAccountRow> rows = AccountRows(players, sockets);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0],
            (TAccountRow{7, 1, "Ann\\x0D\\x0AX", "Player", "1560", "1921", "127.0.0.9", ""}));
  // A socket number outside 1..63 has no connection to show.
  EXPECT_EQ(rows[1], (TAccountRow{8, 64, "Ghost", "Player", "1", "2", "", ""}));

  // UDP set up and a beat sent, not yet acknowledged: still blank; once acknowledged, shown.
  client.HeartbeatRecord.UDPActive = 1;
  client.HeartbeatRecord.Seq = 1;
  EXPECT_EQ(AccountRows(players, sockets)[0].Ping, "");
  client.RoundTripKnown = true;
  EXPECT_EQ(AccountRows(players, sockets)[0].Ping, "0");
  client.HeartbeatRecord.RoundTrip = 12;
  EXPECT_EQ(AccountRows(players, sockets)[0].Ping, "12");

  // The number taken by a new connection: blank again until its own first acknowledgement.
  sockets.RemoveSocket(conn);
  EXPECT_EQ(AccountRows(players, sockets)[0].IP, "");
  FakeConnection next("127.0.0.8", 4001);
  sockets.AddSocket(next);
  rows = AccountRows(players, sockets);
  EXPECT_EQ(rows[0].IP, "127.0.0.8");
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
  form.Server().OnBeatTimer();
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
      WAIT_MS, [this] { Pump(); }, [&](const msg::PlayerLeft& m) { return m.GUID == bobGuid; });
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
