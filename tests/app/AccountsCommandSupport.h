// The shell commands' tests: `zqosrv accounts|bans ...` run in-process on a file in a
// temporary directory, with a password on standard input and the output kept.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "accounts/PasswordHash.h"
#include "app/AccountsCommand.h"
#include "tests/support/TempDir.h"

namespace zq::test {

struct Result {
  int Status = -1;
  std::string Out;
  std::string Err;
};

class AccountsCommandTest : public testing::Test {
 protected:
  // Runs the command with `input` as standard input, on the file in the temporary directory
  // unless the words name another.
  Result Run(std::vector<std::string> args, const std::string& input = "") {
    args.push_back("--game-dir");
    args.push_back(dir_.Path());
    std::istringstream in(input);
    std::ostringstream out, err;
    TAccountsCommandOptions options;
    options.HashLimits = TArgon2Hasher::Minimum();
    Result result;
    result.Status = RunAccountsCommand(args, in, out, err, options);
    result.Out = out.str();
    result.Err = err.str();
    return result;
  }
  std::string File() const { return dir_ / "zqosrv.db"; }

  TempDir dir_;
  TArgon2Hasher hasher_{TArgon2Hasher::Minimum()};
};

}  // namespace zq::test
