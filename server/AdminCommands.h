// TAdminCommands: an Admin's speech that begins with "/" (/players, /kick, /ban, /unban,
// /pause, /resume) is taken on the main thread and never relayed. Its account's privileges are
// read first, on the job thread: an account that is an Admin's no longer (changed from the
// shell, say) gives no command, and its player goes on as a Player. Otherwise the command is
// logged, carried out through the administration, and answered through the game as speech
// the admin alone hears (a PrivateSpeech on the game queue). Bans are answered once they are
// written; one that needs confirming (a very wide range, or one holding the admin's own
// address) is answered with how to confirm it (/ban!) and not made. Other players' "/..." is
// speech like any other. Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "accounts/AdminCommand.h"
#include "protocol/GameMessenger.h"
#include "server/Administration.h"

namespace zq {

class TAdminCommands {
 public:
  TAdminCommands(TAdministration& administration, ISessionHost& host, TSocketTable& sockets,
                 TGameMessenger& gameQueue);

  // The speech of a client in the game: true when it was a command (it is not relayed).
  bool OnSpeech(TSocketID& client, std::string_view text);

 private:
  // Once the account's privileges are known.
  void Carry(TSocketID& client, const std::string& text, bool admin, const std::string& error);
  void Run(TSocketID& admin, const TAdminCommand& command);
  // The game tells the player of connection `serial` `line`, as speech only it hears.
  void Answer(uint64_t serial, int32_t number, const std::string& line);

  TAdministration& administration_;
  ISessionHost& host_;
  TSocketTable& sockets_;
  TGameMessenger& gameQueue_;
};

}  // namespace zq
