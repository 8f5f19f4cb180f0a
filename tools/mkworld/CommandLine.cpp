#include "tools/mkworld/CommandLine.h"

#include <exception>
#include <optional>

#include "tools/cli/WholeNumberOption.h"
#include "tools/mkworld/WorldGen.h"

namespace zq::mkworld {
namespace {

constexpr const char* USAGE =
    "usage: zqo-mkworld DIR [--seed N] [--no-blocking] [--place X,Y,SHAPE]... [--help]\n"
    "Writes a synthetic game installation into DIR (STATIC/ files, INITGAME.DAT).\n"
    "  --seed N          decoration seed, 0..4294967295 (default 1)\n"
    "  --no-blocking     no generated tile blocks movement\n"
    "  --place X,Y,SHAPE put tile entry SHAPE (0..65535) on world tile (X, Y)\n";

std::optional<Placement> ParsePlacement(const std::string& text) {
  std::size_t a = text.find(','), b = text.find(',', a == std::string::npos ? a : a + 1);
  if (a == std::string::npos || b == std::string::npos) return std::nullopt;
  auto x = ParseWholeNumber(text.substr(0, a), INT32_MIN, INT32_MAX);
  auto y = ParseWholeNumber(text.substr(a + 1, b - a - 1), INT32_MIN, INT32_MAX);
  auto shape = ParseWholeNumber(text.substr(b + 1), 0, UINT16_MAX);
  if (!x || !y || !shape) return std::nullopt;
  return Placement{static_cast<int32_t>(*x), static_cast<int32_t>(*y),
                   static_cast<uint16_t>(*shape)};
}

}  // namespace

int RunMkWorld(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  WorldOptions options;
  std::string dir;
  CLI::App app("zqo-mkworld", "zqo-mkworld");
  app.set_help_flag("-h,--help");
  app.add_option("DIR", dir)->required();
  AddWholeNumber(app, "--seed", options.seed, 0, UINT32_MAX, "decoration seed");
  app.add_flag("--no-blocking", options.noBlocking);
  std::vector<std::string> places;
  app.add_option("--place", places);
  try {
    std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes them backwards
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    out << USAGE;
    return 0;
  } catch (const CLI::ParseError& e) {
    err << "zqo-mkworld: " << e.what() << "\n" << USAGE;
    return 1;
  }
  for (const std::string& text : places) {
    auto p = ParsePlacement(text);
    if (!p) {
      err << "zqo-mkworld: bad placement \"" << text << "\" (want X,Y,SHAPE)\n" << USAGE;
      return 1;
    }
    options.extra.push_back(*p);
  }
  try {
    WriteInstallation(dir, options);
  } catch (const std::exception& e) {
    err << "zqo-mkworld: " << e.what() << "\n";
    return 1;
  }
  out << "Wrote installation to " << dir << "\n";
  return 0;
}

}  // namespace zq::mkworld
