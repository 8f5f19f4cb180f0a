#include "gui/RunWindow.h"

#include <QApplication>
#include <iostream>

#include "gui/OpenWindow.h"

namespace zq {

int RunWindow(int argc, char** argv, const TCommandLine& commandLine) {
  QApplication app(argc, argv);
  TOpenWindow window;
  try {
    window = OpenWindow(commandLine);
  } catch (const std::exception& e) {
    std::cerr << "zqosrv: " << e.what() << std::endl;
    return 1;
  }
  int status = app.exec();
  window.Watcher.reset();
  window.Form.reset();
  return status;
}

}  // namespace zq
