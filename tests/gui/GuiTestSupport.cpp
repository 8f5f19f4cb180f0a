#include "tests/gui/GuiTestSupport.h"

#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <cstdlib>
#include <filesystem>

#include "tools/mkworld/WorldGen.h"

namespace zq::test {

namespace {

std::unique_ptr<QApplication>& App() {
  static std::unique_ptr<QApplication> app;
  return app;
}

// The application goes before the program's exit: Qt's own statics are gone by then.
class GuiEnvironment : public ::testing::Environment {
 public:
  void TearDown() override { App().reset(); }
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(std::make_unique<GuiEnvironment>().release());

}  // namespace

void EnsureGuiApp() {
  if (App()) return;
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "gui_tests";
  static char* argv[] = {name, nullptr};
  App() = std::make_unique<QApplication>(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs,
               const std::function<void()>& also) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeoutMs) return done();
    QApplication::processEvents(QEventLoop::AllEvents, 5);
    if (also) also();
    usleep(1000);
  }
  return true;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool AnyContains(const std::vector<std::string>& lines, const std::string& text) {
  for (const std::string& line : lines)
    if (line.find(text) != std::string::npos) return true;
  return false;
}

bool EndsInOrder(const std::vector<std::string>& lines, const std::vector<std::string>& messages) {
  std::size_t at = 0;
  for (const std::string& message : messages) {
    while (at < lines.size() && !EndsWith(lines[at], message)) ++at;
    if (at == lines.size()) return false;
    ++at;
  }
  return true;
}

WindowTest::WindowTest() {
  EnsureGuiApp();
  previousDir_ = std::filesystem::current_path().string();
  gameDir_ = dir_ / "game";
  mkworld::WriteInstallation(gameDir_);
  baseUdpPort_ = std::to_string(udpRange_.Base());
}

WindowTest::~WindowTest() {
  clients_.clear();
  window_.reset();
  std::error_code ec;
  std::filesystem::current_path(previousDir_, ec);
}

TMainSrvForm& WindowTest::MakeForm(std::string gameDir) {
  TServerSettings settings;
  settings.GameDirectory = gameDir.empty() ? gameDir_ : gameDir;
  return MakeForm(settings);
}

TMainSrvForm& WindowTest::MakeForm(TServerSettings settings) {
  if (settings.GameDirectory.empty()) settings.GameDirectory = gameDir_;
  settings.BaseUdpPortText = baseUdpPort_;
  settings.TcpPort = 0;
  TCommandLine commandLine;
  commandLine.Settings = settings;
  commandLine.GameDirectoryGiven = true;
  window_.reset();
  window_ = std::make_unique<TWindowApp>(commandLine);
  form_ = &window_->Form();
  form_->ReportError = [this](const std::string& text) { errors_.push_back(text); };
  form_->show();
  return *form_;
}

void WindowTest::Start() {
  form_->StartServerClick();
  ASSERT_TRUE(errors_.empty()) << errors_.front();
  ASSERT_TRUE(form_->Server().ServerStarted());
}

TZQClient& WindowTest::Connect() {
  clients_.push_back(std::make_unique<TZQClient>());
  TZQClient& client = *clients_.back();
  client.Connect("127.0.0.1", form_->Server().Status().ListeningPort);
  EXPECT_TRUE(Until([&] { return client.Greeted() || client.Refused() || client.IsClosed(); }));
  return client;
}

TZQClient& WindowTest::Join(const std::string& name) {
  clients_.push_back(std::make_unique<TZQClient>());
  TZQClient& client = *clients_.back();
  client.Connect("127.0.0.1", form_->Server().Status().ListeningPort);
  TSetupParams params;
  params.Name = name;
  EXPECT_TRUE(client.RunSetup(params, WAIT_MS, [this] { Pump(); })) << name;
  return client;
}

void WindowTest::Pump() {
  QApplication::processEvents(QEventLoop::AllEvents, 5);
  for (auto& client : clients_) client->Poll(0);
}

bool WindowTest::Until(const std::function<bool()>& done, int timeoutMs) {
  return PumpUntil(done, timeoutMs, [this] {
    for (auto& client : clients_) client->Poll(0);
  });
}

std::vector<std::string> ViewLinesOf(TMainSrvForm& form) {
  const auto& lines = form.LogMemo().Lines();
  return {lines.begin(), lines.end()};
}

std::vector<std::string> WindowTest::ViewLines() {
  return ViewLinesOf(*form_);
}

std::string WindowTest::ReadLog() {
  std::error_code ec;
  if (!std::filesystem::exists(gameDir_ + "/ZQOSRV.LOG", ec)) return {};
  return ReadFile(gameDir_ + "/ZQOSRV.LOG");
}

}  // namespace zq::test
