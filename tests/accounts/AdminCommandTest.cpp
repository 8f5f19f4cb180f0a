// Admin commands typed as speech, durations, and the answers' line length.
#include <gtest/gtest.h>

#include "accounts/AdminTexts.h"
#include "accounts/Times.h"

namespace zq {
namespace {

TAdminCommand Parsed(const std::string& speech) {
  TAdminParse parse = ParseAdminCommand(speech);
  EXPECT_TRUE(parse.Command) << speech << ": " << parse.Error;
  return parse.Command.value_or(TAdminCommand{});
}

std::string ErrorOf(const std::string& speech) {
  TAdminParse parse = ParseAdminCommand(speech);
  EXPECT_FALSE(parse.Command) << speech;
  return parse.Error;
}

TEST(Duration, UnitsAndLimits) {
  EXPECT_EQ(ParseDuration("30s"), 30);
  EXPECT_EQ(ParseDuration("10m"), 600);
  EXPECT_EQ(ParseDuration("2H"), 7200);
  EXPECT_EQ(ParseDuration("7d"), 7 * 86400);
  EXPECT_EQ(ParseDuration("3650d"), MAX_DURATION_SECONDS);
  for (const char* bad :
       {"3651d", "0s", "10", "m", "", "-5m", "+5m", "1w", "1.5h", "5 m", "99999999999999999999d"}) {
    EXPECT_FALSE(ParseDuration(bad)) << bad;
  }
  EXPECT_EQ(FormatDuration(0), "0s");
  EXPECT_EQ(FormatDuration(45), "45s");
  EXPECT_EQ(FormatDuration(303), "5m 3s");
  EXPECT_EQ(FormatDuration(7200), "2h");
  EXPECT_EQ(FormatDuration(90061), "1d 1h");
}

TEST(AdminCommand, EachCommandAndItsArguments) {
  EXPECT_TRUE(IsAdminCommand("  /players"));
  EXPECT_FALSE(IsAdminCommand("hello /players"));
  EXPECT_FALSE(IsAdminCommand(""));

  EXPECT_EQ(Parsed("/players").Verb, TAdminVerb::Players);
  EXPECT_EQ(Parsed("  /PAUSE  ").Verb, TAdminVerb::Pause);
  EXPECT_EQ(Parsed("/resume").Verb, TAdminVerb::Resume);

  TAdminCommand kick = Parsed("/kick \"Big Bob\"");
  EXPECT_EQ(kick.Verb, TAdminVerb::Kick);
  EXPECT_EQ(kick.Name, "Big Bob");

  TAdminCommand permanent = Parsed("/ban Mallory");
  EXPECT_EQ(permanent.Target.Text, "Mallory");
  EXPECT_FALSE(permanent.DurationSeconds);
  EXPECT_EQ(permanent.Reason, "");

  TAdminCommand timed = Parsed("/ban 127.0.3.0/24 2h  flooding the  spawn ");
  EXPECT_EQ(timed.Target.Kind, TBanKind::Range);
  EXPECT_EQ(timed.DurationSeconds, 7200);
  EXPECT_EQ(timed.Reason, "flooding the  spawn");

  TAdminCommand reasonOnly = Parsed("/ban \"Big Bob\" spamming, again");
  EXPECT_EQ(reasonOnly.Target.Text, "Big Bob");
  EXPECT_FALSE(reasonOnly.DurationSeconds);
  EXPECT_EQ(reasonOnly.Reason, "spamming, again");
  EXPECT_EQ(Parsed("/ban bob \"3rd warning\"").Reason, "3rd warning");

  TAdminCommand unban = Parsed("/unban 127.0.0.5/32");
  EXPECT_EQ(unban.Verb, TAdminVerb::Unban);
  EXPECT_EQ(unban.Target.Kind, TBanKind::Address);
  EXPECT_EQ(unban.Target.Text, "127.0.0.5");
}

TEST(AdminCommand, QuotesMakeANameAndBanBangConfirms) {
  TAdminCommand quoted = Parsed("/ban \"10.0.0.0/8\" 1h hello");
  EXPECT_EQ(quoted.Target.Kind, TBanKind::Name);
  EXPECT_EQ(quoted.Target.Text, "10.0.0.0/8");
  EXPECT_EQ(quoted.DurationSeconds, 3600);
  EXPECT_FALSE(quoted.Force);
  EXPECT_EQ(Parsed("/unban \"::1\"").Target.Kind, TBanKind::Name);
  EXPECT_EQ(Parsed("/unban ::1").Target.Kind, TBanKind::Address);

  TAdminCommand forced = Parsed("/BAN! 0.0.0.0/0 10m everyone");
  EXPECT_EQ(forced.Verb, TAdminVerb::Ban);
  EXPECT_TRUE(forced.Force);
  EXPECT_EQ(forced.Target.Kind, TBanKind::Range);
  EXPECT_EQ(forced.Reason, "everyone");
  EXPECT_EQ(ErrorOf("/ban!"), AdminText::Usage(TAdminVerb::Ban));
  EXPECT_EQ(ErrorOf("/unban! bob").rfind("Unknown command", 0), 0u);
}

TEST(AdminCommand, MistakesAreExplained) {
  EXPECT_EQ(ErrorOf("/dance"),
            "Unknown command \"/dance\". Commands: /players, /kick, /ban, /unban, /pause, "
            "/resume.");
  EXPECT_NE(ErrorOf("/").find("Unknown command"), std::string::npos);
  EXPECT_EQ(ErrorOf("/players now"), AdminText::Usage(TAdminVerb::Players));
  EXPECT_EQ(ErrorOf("/kick"), AdminText::Usage(TAdminVerb::Kick));
  EXPECT_EQ(ErrorOf("/kick a b"), AdminText::Usage(TAdminVerb::Kick));
  EXPECT_EQ(ErrorOf("/kick \"\""), AdminText::Usage(TAdminVerb::Kick));
  EXPECT_EQ(ErrorOf("/ban"), AdminText::Usage(TAdminVerb::Ban));
  EXPECT_EQ(ErrorOf("/unban a b"), AdminText::Usage(TAdminVerb::Unban));
  EXPECT_EQ(ErrorOf("/kick \"Big Bob"), AdminText::UnclosedQuote());
  EXPECT_EQ(ErrorOf("/ban bob 10"), AdminText::BadDuration("10"));
  EXPECT_EQ(ErrorOf("/ban bob 2w cheating"), AdminText::BadDuration("2w"));
  EXPECT_NE(ErrorOf("/ban 127.0.0.300").find("127.0.0.300"), std::string::npos);
  EXPECT_NE(ErrorOf("/pause please").find("Usage"), std::string::npos);
}

TEST(AdminText, AnswersFitOneSpeechLine) {
  std::string huge(300, 'x');
  for (const std::string& text :
       {ErrorOf("/" + huge), ErrorOf("/ban bob 9" + huge), AdminText::Kicked(huge),
        AdminText::NotInGame(huge), AdminText::Failed(huge), AdminText::ConfirmWithBanBang(huge)}) {
    EXPECT_LE(text.size(), AdminText::ADMIN_LINE_LENGTH) << text;
  }
  std::vector<std::string> names;
  for (int i = 0; i < 63; ++i) names.push_back("Player" + std::to_string(i));
  std::vector<std::string> lines = AdminText::Players(names);
  std::string joined;
  for (const std::string& line : lines) {
    EXPECT_LE(line.size(), AdminText::ADMIN_LINE_LENGTH) << line;
    joined += line + " ";
  }
  EXPECT_EQ(lines.front().rfind("63 players: Player0, Player1", 0), 0u);
  EXPECT_NE(joined.find("Player62"), std::string::npos);
  EXPECT_EQ(AdminText::Players({}), std::vector<std::string>{"No players in the game."});
  EXPECT_EQ(AdminText::Players({"Solo"}), std::vector<std::string>{"1 player: Solo"});
  EXPECT_EQ(AdminText::Banned(ParseBanTarget("bob"), 7200), "Banned bob for 2h.");
  EXPECT_EQ(AdminText::Banned(ParseBanTarget("bob"), std::nullopt), "Banned bob for good.");
}

}  // namespace
}  // namespace zq

namespace zq {
namespace {

// Names in the answers are shown as everywhere else: escaped where they are no UTF-8, and cut
// to the line, never inside a character or an escape.
TEST(AdminTexts, NamesAreShownEscapedAndCutWhole) {
  EXPECT_EQ(AdminText::Kicked(std::string("caf\xE9")), "Kicked caf\\xE9.");
  EXPECT_EQ(AdminText::NotInGame("a\\b"), "No player named a\\\\b is in the game.");
  for (std::size_t n = 12; n < 22; ++n) {  // beyond the 47 characters a name may take
    // Each byte is four characters when shown: the cut keeps whole escapes.
    const std::string escaped = AdminText::Kicked(std::string(n, '\x01'));
    ASSERT_EQ(escaped.substr(escaped.size() - 4), "....") << escaped;
    EXPECT_EQ((escaped.size() - 7 - 4) % 4, 0u) << escaped;
    // Two bytes a character: the cut keeps whole characters.
    std::string accents;
    for (std::size_t i = 0; i < 2 * n; ++i) accents += "\xC3\xA9";
    const std::string cut = AdminText::Kicked(accents);
    ASSERT_EQ(cut.substr(cut.size() - 4), "....") << cut;
    EXPECT_EQ((cut.size() - 7 - 4) % 2, 0u) << cut;
  }
}

}  // namespace
}  // namespace zq
