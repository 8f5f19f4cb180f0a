// The front-end with the operator window: the application and its window (TMainSrvForm,
// whose fields the command line prefills), the window shown, "&Start Server" pressed once the
// event loop runs when --start was given, and SIGINT and SIGTERM closing the window the way
// the operator does. Main thread only; a QApplication must exist.
#pragma once

#include <memory>

#include "app/Application.h"
#include "app/CommandLine.h"
#include "gui/MainSrvForm.h"

namespace zq {

class TWindowApp {
 public:
  // Raises EInOutError naming the game directory when it cannot be used.
  explicit TWindowApp(const TCommandLine& commandLine, TServerOptions options = {});
  // Shuts a running server down while the window still shows its lines.
  ~TWindowApp();
  TWindowApp(const TWindowApp&) = delete;
  TWindowApp& operator=(const TWindowApp&) = delete;

  TApplication& App() { return app_; }
  TMainSrvForm& Form() { return *form_; }

 private:
  TApplication app_;
  std::unique_ptr<TMainSrvForm> form_;
};

// The window as the program opens it: shown, its signals watched, started at once with
// --start.
std::unique_ptr<TWindowApp> OpenWindow(const TCommandLine& commandLine,
                                       TServerOptions options = {});

// Runs the program with its window; returns the exit status.
int RunWindow(int argc, char** argv, const TCommandLine& commandLine);

}  // namespace zq
