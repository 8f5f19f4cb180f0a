// Every text an admin sees in answer to a command, and the one a kicked player gets. Each
// answer fits one speech line (ADMIN_LINE_LENGTH characters); a long list is split.
// Pure functions: any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/AdminCommand.h"

namespace zq::AdminText {

// The game shows at most this many characters of one speech.
constexpr std::size_t ADMIN_LINE_LENGTH = 99;

// Parse errors.
std::string UnknownCommand(std::string_view word);
std::string Usage(TAdminVerb verb);
std::string BadDuration(std::string_view text);
std::string BadTarget(std::string_view problem);
std::string UnclosedQuote();

// Answers of the server once it has carried a command out.
// "3 players: Root, bob, \"0.0.0.0/0\"": a name that reads as an address in double quotes.
std::vector<std::string> Players(const std::vector<std::string>& names);
std::string Kicked(std::string_view name);
std::string NotInGame(std::string_view name);
std::string Banned(const TBanTarget& target, std::optional<int64_t> durationSeconds);
// A ban that waits for /ban!: `why` is ConfirmationNeeded's text.
std::string ConfirmWithBanBang(std::string_view why);
std::string Unbanned(const TBanTarget& target);
std::string NotBanned(const TBanTarget& target);
std::string Paused();
std::string Resumed();
std::string AlreadyPaused();
std::string NotPaused();
std::string Failed(std::string_view error);
// The answer to a command whose account is an Admin's no longer.
std::string NoLongerAdmin();

// What a kicked player is told before the connection closes.
std::string KickedPlayer();

}  // namespace zq::AdminText
