// Admin commands typed as speech beginning with "/": /players, /kick NAME,
// /ban TARGET [DURATION] [REASON], /unban TARGET, /pause, /resume. Parsing only; the
// server carries them out. Command words are taken in any letter case; a name with spaces
// is written in double quotes. TARGET is a name, an IP address or a range, read as a ban
// target without a kind is; in double quotes it is a name whatever it reads as. /ban! is
// /ban confirming a target that needs it (ConfirmationNeeded). DURATION is a number with s,
// m, h or d (30s, 10m, 2h, 7d) and is left out for a permanent ban. A third word of /ban
// that begins with a digit is taken as a duration (and refused if it is not one); the rest
// of the line is the reason. Pure functions: any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "accounts/BanList.h"

namespace zq {

enum class TAdminVerb { Players, Kick, Ban, Unban, Pause, Resume };

struct TAdminCommand {
  TAdminVerb Verb = TAdminVerb::Players;
  std::string Name;                        // Kick: the player's name
  TBanTarget Target;                       // Ban, Unban
  std::optional<int64_t> DurationSeconds;  // Ban: empty for a permanent ban
  std::string Reason;                      // Ban: may be empty
  bool Force = false;                      // Ban: given as /ban!
};

// Either a command or the text that tells the admin what is wrong.
struct TAdminParse {
  std::optional<TAdminCommand> Command;
  std::string Error;
};

// True for speech that is a command: its first character other than a space is "/".
bool IsAdminCommand(std::string_view speech);
TAdminParse ParseAdminCommand(std::string_view speech);

}  // namespace zq
