#include "gui/RunWindow.h"

#include <iostream>

namespace zq {

int RunWindow(int, char**, const TCommandLine&) {
  std::cerr << "zqosrv: the operator window is not available in this build; use --headless"
            << std::endl;
  return 1;
}

}  // namespace zq
