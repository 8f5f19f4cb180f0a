#include "app/WindowRun.h"

#include <QApplication>
#include <QTimer>
#include <iostream>

namespace zq {
namespace {

TServerSettings WindowSettings(const TCommandLine& commandLine) {
  TServerSettings settings = commandLine.Settings;
  if (!commandLine.GameDirectoryGiven) settings.GameDirectory.clear();  // the current one
  return settings;
}

}  // namespace

TWindowApp::TWindowApp(const TCommandLine& commandLine, TServerOptions options)
    : app_(commandLine, std::move(options)),
      form_(std::make_unique<TMainSrvForm>(
          WindowSettings(commandLine), app_.Server(),
          TWindowActions{[this](const TServerSettings& settings) { app_.Start(settings); },
                         [this] { return app_.Stop(); }})) {
  TMainSrvForm* form = form_.get();
  app_.Attach({form, [form] { form->close(); },
               [form](const std::string& text) { form->ReportError(text); }});
}

TWindowApp::~TWindowApp() {
  app_.Stop();
  app_.Attach({});
  form_.reset();
}

std::unique_ptr<TWindowApp> OpenWindow(const TCommandLine& commandLine, TServerOptions options) {
  auto window = std::make_unique<TWindowApp>(commandLine, std::move(options));
  window->App().WatchSignals();
  TMainSrvForm* form = &window->Form();
  form->show();
  if (commandLine.Start) QTimer::singleShot(0, form, [form] { form->StartServerClick(); });
  return window;
}

int RunWindow(int argc, char** argv, const TCommandLine& commandLine) {
  QApplication qt(argc, argv);
  std::unique_ptr<TWindowApp> window;
  try {
    window = OpenWindow(commandLine);
  } catch (const std::exception& e) {
    std::cerr << "zqosrv: " << e.what() << std::endl;
    return 1;
  }
  const int status = qt.exec();
  window.reset();
  return status;
}

}  // namespace zq
