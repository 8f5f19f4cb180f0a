// zqosrv --headless with --admin-listen, as an operator runs it: the admin API comes up after
// the start with its address and the token file's path in the log, and POST /api/shutdown
// ends the program the way SIGTERM does.
#include <QNetworkProxy>
#include <QNetworkRequest>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <chrono>
#include <thread>

#include "tests/admin/AdminTestSupport.h"

namespace zq::test {
namespace {

TEST(AdminHeadless, ShutdownByTheApiEndsTheProgramCleanly) {
  TestApp();
  TempDir game;
  TUdpPortRange range;
  mkworld::WriteInstallation(game.Path());
  QProcess server;
  server.setProcessChannelMode(QProcess::ForwardedChannels);
  server.start(ZQOSRV_BINARY,
               {"--headless", "--game-dir", QString::fromStdString(game.Path()), "--tcp-port", "0",
                "--base-udp-port", QString::number(range.Base()), "--admin-listen", "127.0.0.1:0"});
  ASSERT_TRUE(server.waitForStarted(30000));

  // The log names the port and the token file.
  const QRegularExpression listening(R"(Admin API listening on http://127\.0\.0\.1:(\d+)/)");
  const std::string tokenPath = game.Path() + "/zqosrv-admin.token";
  QRegularExpressionMatch match;
  for (int i = 0; i < 600 && !match.hasMatch(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    match = listening.match(QString::fromStdString(ReadFile(game / "ZQOSRV.LOG")));
  }
  ASSERT_TRUE(match.hasMatch()) << ReadFile(game / "ZQOSRV.LOG");
  const std::string log = ReadFile(game / "ZQOSRV.LOG");
  EXPECT_NE(log.find("Admin token made in " + tokenPath + " (mode 0600)."), std::string::npos);
  EXPECT_LT(log.find("Beat is active"), log.find("Admin API listening"));
  std::string token = ReadFile(tokenPath);
  token.pop_back();  // the line end

  QNetworkAccessManager http;
  http.setProxy(QNetworkProxy::NoProxy);
  QNetworkRequest request(QUrl("http://127.0.0.1:" + match.captured(1) + "/api/shutdown"));
  request.setRawHeader("Authorization", QByteArray::fromStdString("Bearer " + token));
  std::unique_ptr<QNetworkReply> reply(http.post(request, QByteArray()));
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!reply->isFinished() && std::chrono::steady_clock::now() < until) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200)
      << reply->errorString().toStdString();

  ASSERT_TRUE(server.waitForFinished(60000));
  EXPECT_EQ(server.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(server.exitCode(), 0);
  const std::string end = ReadFile(game / "ZQOSRV.LOG");
  const std::size_t asked = end.find("Shutdown requested by the admin API (127.0.0.1).");
  ASSERT_NE(asked, std::string::npos);
  EXPECT_LT(asked, end.find("Server shutdown."));
  EXPECT_NE(end.find("DM: DispatchManager shutdown."), std::string::npos);
}

TEST(AdminHeadless, AnAddressThatCannotBeUsedStopsTheStart) {
  TestApp();
  TempDir game;
  TUdpPortRange range;
  mkworld::WriteInstallation(game.Path());
  // Taken already: the server refuses to run without the API it was asked for.
  QTcpServer taken;
  ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
  QProcess server;
  server.start(ZQOSRV_BINARY,
               {"--headless", "--game-dir", QString::fromStdString(game.Path()), "--tcp-port", "0",
                "--base-udp-port", QString::number(range.Base()), "--admin-listen",
                "127.0.0.1:" + QString::number(taken.serverPort())});
  ASSERT_TRUE(server.waitForFinished(60000));
  EXPECT_EQ(server.exitCode(), 1);
  EXPECT_NE(server.readAllStandardError().indexOf("Cannot listen for the admin API on 127.0.0.1:"),
            -1);

  QProcess bad;
  bad.start(ZQOSRV_BINARY, {"--headless", "--admin-listen", "localhost:80"});
  ASSERT_TRUE(bad.waitForFinished(60000));
  EXPECT_EQ(bad.exitCode(), 1);
  EXPECT_EQ(bad.readAllStandardError().toStdString(),
            "zqosrv: --admin-listen: 'localhost:80' does not begin with an IP address\n");
}

}  // namespace
}  // namespace zq::test
