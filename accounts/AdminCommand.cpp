#include "accounts/AdminCommand.h"

#include <algorithm>
#include <vector>

#include "accounts/AdminTexts.h"
#include "accounts/Times.h"
#include "platform/Errors.h"

namespace zq {
namespace {

struct TWord {
  std::string Text;
  std::size_t End = 0;  // offset just past the word in the command line
  bool Quoted = false;
};

std::string_view Trim(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// Splits at spaces; "a quoted name" is one word without its quotes. False for an unclosed
// quote.
bool SplitWords(std::string_view line, std::vector<TWord>& words) {
  std::size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ') {
      ++i;
    } else if (line[i] == '"') {
      std::size_t close = line.find('"', i + 1);
      if (close == std::string_view::npos) return false;
      words.push_back({std::string(line.substr(i + 1, close - i - 1)), close + 1, true});
      i = close + 1;
    } else {
      std::size_t end = std::min(line.find(' ', i), line.size());
      words.push_back({std::string(line.substr(i, end - i)), end, false});
      i = end;
    }
  }
  return true;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

bool AllDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// A reason written in double quotes loses them.
std::string Unquote(std::string_view text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"' &&
      text.find('"', 1) == text.size() - 1) {
    text = text.substr(1, text.size() - 2);
  }
  return std::string(text);
}

TAdminParse Error(std::string text) {
  return {std::nullopt, std::move(text)};
}

}  // namespace

bool IsAdminCommand(std::string_view speech) {
  speech = Trim(speech);
  return !speech.empty() && speech.front() == '/';
}

TAdminParse ParseAdminCommand(std::string_view speech) {
  std::string_view line = Trim(speech);
  if (line.empty() || line.front() != '/') return Error(AdminText::UnknownCommand(line));
  line.remove_prefix(1);
  std::vector<TWord> words;
  if (!SplitWords(line, words)) return Error(AdminText::UnclosedQuote());
  std::string verbWord = words.empty() ? "" : Lower(words[0].Text);
  std::size_t args = words.empty() ? 0 : words.size() - 1;

  static const struct {
    const char* Word;
    TAdminVerb Verb;
  } verbs[] = {{"players", TAdminVerb::Players}, {"kick", TAdminVerb::Kick},
               {"ban", TAdminVerb::Ban},         {"ban!", TAdminVerb::Ban},
               {"unban", TAdminVerb::Unban},     {"pause", TAdminVerb::Pause},
               {"resume", TAdminVerb::Resume}};
  const auto* known = std::find_if(std::begin(verbs), std::end(verbs),
                                   [&](const auto& v) { return verbWord == v.Word; });
  if (known == std::end(verbs)) {
    return Error(AdminText::UnknownCommand(words.empty() ? "" : words[0].Text));
  }
  TAdminCommand command;
  command.Verb = known->Verb;
  command.Force = verbWord == "ban!";
  switch (command.Verb) {
    case TAdminVerb::Players:
    case TAdminVerb::Pause:
    case TAdminVerb::Resume:
      if (args != 0) return Error(AdminText::Usage(command.Verb));
      break;
    case TAdminVerb::Kick:
      if (args != 1 || words[1].Text.empty()) return Error(AdminText::Usage(command.Verb));
      command.Name = words[1].Text;
      break;
    case TAdminVerb::Unban:
    case TAdminVerb::Ban:
      if (args < 1 || (command.Verb == TAdminVerb::Unban && args != 1)) {
        return Error(AdminText::Usage(command.Verb));
      }
      try {
        command.Target =
            ParseBanTarget(words[1].Text, words[1].Quoted ? TBanReading::Name : TBanReading::Any);
      } catch (const EConvertError& e) {
        return Error(AdminText::BadTarget(e.what()));
      }
      if (command.Verb == TAdminVerb::Unban) break;
      std::size_t reasonFrom = words[1].End;
      if (args >= 2) {
        if (std::optional<int64_t> duration = ParseDuration(words[2].Text)) {
          command.DurationSeconds = duration;
          reasonFrom = words[2].End;
        } else if (!words[2].Quoted && AllDigits(words[2].Text.substr(0, 1))) {
          return Error(AdminText::BadDuration(words[2].Text));  // meant as one, surely
        }
      }
      command.Reason = Unquote(Trim(line.substr(std::min(reasonFrom, line.size()))));
      break;
  }
  return {command, ""};
}

}  // namespace zq
