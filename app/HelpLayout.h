// The --help layout of zqosrv's command lines (the server's, `zqosrv accounts|bans`): a usage
// line, the description, then each option with its value's name ("--game-dir DIR") and its
// text wrapped beside it. Nothing of CLI11's own: no type names (TEXT), no validator names
// (":DIR"), no REQUIRED, Needs or Excludes marks. Without Qt; any thread, one app at a time.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace zq {

// Gives `app` the layout and the help flag "-h, --help"; subcommands added afterwards inherit
// both. The value names are the options' type names, which validators must leave alone (give
// them an empty description).
void UseHelpLayout(CLI::App& app);

// `text` wrapped at 79 columns, every line after the first `indent` spaces in (the first is
// the caller's), paragraphs kept apart at newlines.
std::string Wrapped(const std::string& text, std::size_t indent);

}  // namespace zq
