// `zqosrv accounts ...` and `zqosrv bans ...`: the accounts file managed from a shell,
// whether the server runs or not (both use the file at once; the server sees each change at
// the next login or connect). Without Qt. Passwords are read from the terminal without echo
// (asked twice), or as one line from standard input when that is not a terminal; they are
// never taken as arguments and never printed. Runs on the calling thread, start to end.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "accounts/PasswordHash.h"

namespace zq {

struct TAccountsCommandOptions {
  TArgon2Hasher::TLimits HashLimits = TArgon2Hasher::Moderate();  // as the server's
};

// args[0] is "accounts" or "bans", the rest its words. Returns the exit status: 0 done (or
// help shown), 1 an error, written to `err` naming the file or the value at fault.
int RunAccountsCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                       std::ostream& err);
int RunAccountsCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                       std::ostream& err, const TAccountsCommandOptions& options);

}  // namespace zq
