// Runs the server with its operator window; returns the exit status.
#pragma once

#include "app/CommandLine.h"

namespace zq {

int RunWindow(int argc, char** argv, const TCommandLine& commandLine);

}  // namespace zq
