// The command line of zqo-mkworld: DIR [--seed N] [--no-blocking] [--place X,Y,SHAPE]... [--help].
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace zq::mkworld {

// Runs the program on `args` (without the program name). Returns the exit status: 0 on success
// or --help, 1 on a usage error or a failure, whose text (naming the path or value) goes to `err`.
int RunMkWorld(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace zq::mkworld
