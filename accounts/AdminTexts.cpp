#include "accounts/AdminTexts.h"

#include "accounts/IpRange.h"
#include "accounts/NameText.h"
#include "accounts/Times.h"

namespace zq::AdminText {
namespace {

// Shown text cut to `most` bytes with "..." at the end, never inside a character or an escape.
std::string Cut(std::string shown, std::size_t most) {
  if (shown.size() <= most) return shown;
  std::size_t cut = most - 3;
  while (cut > 0 && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80) --cut;
  for (std::size_t at = 0; at < cut; ++at) {  // escapes are read from the start
    if (shown[at] != '\\') continue;
    const std::size_t length = shown[at + 1] == 'x' ? 4 : 2;
    if (at + length > cut) {
      cut = at;
      break;
    }
    at += length - 1;
  }
  return shown.substr(0, cut) + "...";
}

// Echoed user text is shown as names are (bytes that are no UTF-8, and control characters,
// escaped) and cut so that the answer stays on one line.
std::string Echo(std::string_view text, std::size_t most = 40) {
  return Cut(ShowName(text), most);
}

std::string Line(std::string text) {
  if (text.size() > ADMIN_LINE_LENGTH) text = Cut(std::move(text), ADMIN_LINE_LENGTH);
  return text;
}

}  // namespace

std::string UnknownCommand(std::string_view word) {
  return Line("Unknown command \"/" + Echo(word, 20) +
              "\". Commands: /players, /kick, /ban, /unban, /pause, /resume.");
}

std::string Usage(TAdminVerb verb) {
  switch (verb) {
    case TAdminVerb::Players:
      return "Usage: /players";
    case TAdminVerb::Kick:
      return "Usage: /kick NAME (in double quotes if it has spaces)";
    case TAdminVerb::Ban:
      return "Usage: /ban NAME|ADDRESS|RANGE [DURATION: 30s, 10m, 2h, 7d] [REASON]";
    case TAdminVerb::Unban:
      return "Usage: /unban NAME|ADDRESS|RANGE";
    case TAdminVerb::Pause:
      return "Usage: /pause";
    case TAdminVerb::Resume:
      return "Usage: /resume";
  }
  return "";
}

std::string BadDuration(std::string_view text) {
  return Line("Bad duration \"" + Echo(text, 20) +
              "\": a number with s, m, h or d, as in 30s, 10m, 2h, 7d (at most 3650d).");
}

std::string BadTarget(std::string_view problem) {
  return Line(std::string(problem) + ".");
}

std::string UnclosedQuote() {
  return "A double quote is not closed.";
}

std::vector<std::string> Players(const std::vector<std::string>& names) {
  if (names.empty()) return {"No players in the game."};
  std::vector<std::string> lines;
  std::string line =
      std::to_string(names.size()) + (names.size() == 1 ? " player: " : " players: ");
  bool first = true;
  for (const std::string& listed : names) {
    // A name that reads as an address is listed as /ban takes it for a name: quoted.
    const std::string name = ReadsAsAddress(listed) ? "\"" + listed + "\"" : listed;
    std::string item = (first ? "" : ", ") + name;
    if (!first && line.size() + item.size() > ADMIN_LINE_LENGTH) {
      lines.push_back(line + ",");
      line = name;
    } else {
      line += item;
    }
    first = false;
  }
  lines.push_back(line);
  return lines;
}

std::string Kicked(std::string_view name) {
  return Line("Kicked " + Echo(name, 47) + ".");
}

std::string NotInGame(std::string_view name) {
  return Line("No player named " + Echo(name, 47) + " is in the game.");
}

std::string Banned(const TBanTarget& target, std::optional<int64_t> durationSeconds) {
  std::string how = durationSeconds ? " for " + FormatDuration(*durationSeconds) : " for good";
  return Line("Banned " + Echo(target.Text, 47) + how + ".");
}

std::string ConfirmWithBanBang(std::string_view why) {
  return Line(std::string(why) + ": write /ban! to ban it all the same.");
}

std::string Unbanned(const TBanTarget& target) {
  return Line("Unbanned " + Echo(target.Text, 47) + ".");
}

std::string NotBanned(const TBanTarget& target) {
  return Line(Echo(target.Text, 47) + " is not banned.");
}

std::string Paused() {
  return "Server paused: only admins may join.";
}
std::string Resumed() {
  return "Server resumed: everyone may join.";
}
std::string AlreadyPaused() {
  return "The server is paused already.";
}
std::string NotPaused() {
  return "The server is not paused.";
}

std::string Failed(std::string_view error) {
  return Line("The command failed: " + std::string(error));
}

std::string NoLongerAdmin() {
  return "You are no longer an Admin.";
}

std::string KickedPlayer() {
  return "You were kicked by an admin.";
}

}  // namespace zq::AdminText
