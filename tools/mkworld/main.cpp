// zqo-mkworld: writes a synthetic game installation; see tools/mkworld/WorldGen.h.
#include <iostream>
#include <string>
#include <vector>

#include "tools/mkworld/CommandLine.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return zq::mkworld::RunMkWorld(args, std::cout, std::cerr);
}
