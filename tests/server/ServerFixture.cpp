#include "tests/server/ServerFixture.h"

#include <unistd.h>

#include <chrono>

namespace zq::test {

QCoreApplication& TestApp() {
  static int argc = 1;
  static char name[] = "server_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

ServerTest::ServerTest() {
  TestApp();
  pump_ = [this] { Pump(); };
  if (chdir(dir_.Path().c_str()) != 0) ADD_FAILURE() << "cannot enter " << dir_.Path();
}

ServerTest::~ServerTest() {
  clients_.clear();
  server_.reset();
}

void ServerTest::StartServer(const mkworld::WorldOptions& world, TServerOptions options) {
  if (!worldWritten_) {
    mkworld::WriteInstallation(dir_.Path(), world);
    worldWritten_ = true;
  }
  server_ = std::make_unique<TZQOServer>(view_, options);
  TServerSettings settings = settings_;
  settings.GameDirectory = dir_.Path();
  settings.TcpPort = 0;  // any free port
  settings.BaseUdpPortText = std::to_string(BaseUdpPort());
  server_->StartServer(settings);
  ASSERT_TRUE(server_->ServerStarted());
}

void ServerTest::Pump() {
  QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

TZQClient& ServerTest::Connect(bool answerBeats) {
  TClientConfig config;
  config.AnswerBeats = answerBeats;
  return Connect(config);
}

TZQClient& ServerTest::Connect(const TClientConfig& config) {
  auto client = std::make_unique<TZQClient>(config);
  client->Connect("127.0.0.1", server_->Status().ListeningPort);
  TZQClient& c = *client;
  clients_.push_back(std::move(client));
  EXPECT_TRUE(c.WaitUntil([&] { return c.Greeted() || c.IsClosed(); }, 10000, pump_));
  return c;
}

TZQClient& ServerTest::Join(const std::string& name, bool answerBeats) {
  TZQClient& c = Connect(answerBeats);
  TSetupParams params;
  params.Name = name;
  params.Password = "pw-" + name;
  EXPECT_TRUE(c.RunSetup(params, 10000, pump_)) << SetupStateName(c.Setup());
  return c;
}

TZQClient& ServerTest::JoinAt(const std::string& host, uint16_t port, const std::string& name) {
  clients_.push_back(std::make_unique<TZQClient>());
  TZQClient& c = *clients_.back();
  c.Connect(host, port);
  TSetupParams params;
  params.Name = name;
  params.Password = "pw-" + name;
  EXPECT_TRUE(c.RunSetup(params, 10000, pump_)) << SetupStateName(c.Setup());
  return c;
}

std::string ServerTest::RefusalOf(TZQClient& c) {
  EXPECT_TRUE(WaitUntil([&] { return c.IsClosed(); }));
  for (const TReceived& r : c.Inbox())
    if (r.Type == ServerFull) return r.Payload;
  return "";
}

bool ServerTest::WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    Pump();
    for (auto& c : clients_) c->Poll(0);
    usleep(500);
  }
  return true;
}

int ServerTest::LineIndex(const std::string& message) const {
  const std::string suffix = " " + message;
  for (std::size_t i = 0; i < view_.lines.size(); ++i) {
    const std::string& l = view_.lines[i];
    if (l.size() >= suffix.size() &&
        l.compare(l.size() - suffix.size(), suffix.size(), suffix) == 0)
      return static_cast<int>(i);
  }
  return -1;
}

int ServerTest::CountLines(const std::string& prefix) const {
  int n = 0;
  for (const std::string& l : view_.lines)
    if (l.find(" " + prefix) != std::string::npos) ++n;
  return n;
}

std::vector<std::string> ServerTest::Messages() const {
  return view_.lines;
}

}  // namespace zq::test
