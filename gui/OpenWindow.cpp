#include "gui/OpenWindow.h"

#include <QTimer>
#include <csignal>

namespace zq {

TOpenWindow OpenWindow(const TCommandLine& commandLine, TServerOptions options) {
  TServerSettings settings = commandLine.Settings;
  if (!commandLine.GameDirectoryGiven) settings.GameDirectory.clear();  // the current one
  TOpenWindow window;
  window.Form = std::make_unique<TMainSrvForm>(settings, options);
  TMainSrvForm* form = window.Form.get();
  window.Watcher = std::make_unique<TSignalWatcher>([form](int number) {
    if (number == SIGHUP) return form->Server().Reload();  // never ends the process
    form->close();
  });
  form->show();
  if (commandLine.Start) QTimer::singleShot(0, form, [form] { form->StartServerClick(); });
  return window;
}

}  // namespace zq
