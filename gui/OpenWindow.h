// The operator window as the program opens it: the fields prefilled from the command line,
// the window shown, "&Start Server" pressed once the event loop runs when --start was given,
// and SIGINT and SIGTERM closing the window the way the operator does. Main thread only; a
// QApplication must exist.
#pragma once

#include <memory>

#include "app/CommandLine.h"
#include "gui/MainSrvForm.h"
#include "platform/qt/SignalWatcher.h"

namespace zq {

struct TOpenWindow {
  std::unique_ptr<TMainSrvForm> Form;
  std::unique_ptr<TSignalWatcher> Watcher;  // goes first: it refers to the form
};

// Raises EInOutError naming the game directory when it cannot be used.
TOpenWindow OpenWindow(const TCommandLine& commandLine, TServerOptions options = {});

}  // namespace zq
