#include "app/HelpLayout.h"

#include <memory>
#include <sstream>
#include <vector>

namespace zq {
namespace {

constexpr std::size_t WIDTH = 79;
constexpr std::size_t COLUMN = 32;  // where an option's text begins

class THelpLayout : public CLI::Formatter {
 public:
  std::string make_help(const CLI::App* app, std::string name,
                        CLI::AppFormatMode mode) const override {
    std::string out = make_usage(app, name);
    if (!app->get_description().empty()) out += "\n" + Wrapped(app->get_description(), 0) + "\n";
    out += make_positionals(app);
    for (const std::string& group : app->get_groups()) {
      const std::vector<const CLI::Option*> options = app->get_options(
          [&](const CLI::Option* o) { return o->get_group() == group && o->nonpositional(); });
      if (!group.empty() && !options.empty()) out += make_group(group, false, options);
    }
    out += make_subcommands(app, mode);
    if (!app->get_footer().empty()) out += "\n" + Wrapped(app->get_footer(), 0) + "\n";
    return out;
  }

  std::string make_group(std::string group, bool positional,
                         std::vector<const CLI::Option*> options) const override {
    std::string out = "\n" + group + ":\n";
    for (const CLI::Option* o : options) out += make_option(o, positional);
    return out;
  }

  std::string make_option(const CLI::Option* option, bool positional) const override {
    return Entry(make_option_name(option, positional) + make_option_opts(option),
                 option->get_description());
  }

  std::string make_option_name(const CLI::Option* option, bool positional) const override {
    if (positional) return option->get_name(true, false);
    std::string names;
    for (const std::string& s : option->get_snames()) names += (names.empty() ? "-" : ", -") + s;
    for (const std::string& l : option->get_lnames()) names += (names.empty() ? "--" : ", --") + l;
    return names;
  }

  // The value's name only: a flag has none, a positional's name is its value's.
  std::string make_option_opts(const CLI::Option* option) const override {
    if (option->get_positional() || option->get_type_size() == 0) return "";
    return " " + option->get_type_name();
  }

  std::string make_subcommand(const CLI::App* sub) const override {
    return Entry(sub->get_display_name(), sub->get_description());
  }

 private:
  // "  NAME" and the text beside it, or below when the name reaches the text's column.
  static std::string Entry(const std::string& name, const std::string& text) {
    std::string out = "  " + name;
    if (text.empty()) return out + "\n";
    if (out.size() + 2 > COLUMN)
      out += "\n" + std::string(COLUMN, ' ');
    else
      out += std::string(COLUMN - out.size(), ' ');
    return out + Wrapped(text, COLUMN) + "\n";
  }
};

}  // namespace

void UseHelpLayout(CLI::App& app) {
  app.formatter(std::make_shared<THelpLayout>());
  app.set_help_flag("-h,--help", "This text.");
}

std::string Wrapped(const std::string& text, std::size_t indent) {
  std::vector<std::string> lines;
  std::istringstream paragraphs(text);
  for (std::string paragraph; std::getline(paragraphs, paragraph);) {
    lines.emplace_back();
    std::istringstream words(paragraph);
    for (std::string word; words >> word;) {
      const std::size_t used = lines.back().size();
      if (used > 0 && indent + used + 1 + word.size() > WIDTH) lines.emplace_back();
      if (!lines.back().empty()) lines.back() += ' ';
      lines.back() += word;
    }
  }
  std::string out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) out += "\n";
    if (i > 0 && !lines[i].empty()) out += std::string(indent, ' ');
    out += lines[i];
  }
  return out;
}

}  // namespace zq
