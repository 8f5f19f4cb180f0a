#include "tools/mkworld/CommandLine.h"

#include <charconv>
#include <exception>
#include <optional>

#include "tools/mkworld/WorldGen.h"

namespace zq::mkworld {
namespace {

constexpr const char* kUsage =
    "usage: zqo-mkworld DIR [--seed N] [--no-blocking] [--place X,Y,SHAPE]... [--help]\n"
    "Writes a synthetic game installation into DIR (STATIC/ files, INITGAME.DAT).\n"
    "  --seed N          decoration seed, 0..4294967295 (default 1)\n"
    "  --no-blocking     no generated tile blocks movement\n"
    "  --place X,Y,SHAPE put tile entry SHAPE (0..65535) on world tile (X, Y)\n";

template <typename T>
std::optional<T> ParseNumber(const std::string& text) {
  T value{};
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

std::optional<Placement> ParsePlacement(const std::string& text) {
  std::size_t a = text.find(','), b = text.find(',', a == std::string::npos ? a : a + 1);
  if (a == std::string::npos || b == std::string::npos) return std::nullopt;
  auto x = ParseNumber<int32_t>(text.substr(0, a));
  auto y = ParseNumber<int32_t>(text.substr(a + 1, b - a - 1));
  auto shape = ParseNumber<uint16_t>(text.substr(b + 1));
  if (!x || !y || !shape) return std::nullopt;
  return Placement{*x, *y, *shape};
}

}  // namespace

int RunMkWorld(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  WorldOptions options;
  std::string dir;
  auto fail = [&](const std::string& message) {
    err << "zqo-mkworld: " << message << "\n" << kUsage;
    return 1;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      out << kUsage;
      return 0;
    } else if (a == "--no-blocking") {
      options.noBlocking = true;
    } else if (a == "--seed" || a == "--place") {
      if (i + 1 >= args.size()) return fail("missing value after " + a);
      const std::string& v = args[++i];
      if (a == "--seed") {
        auto seed = ParseNumber<uint32_t>(v);
        if (!seed) return fail("bad seed \"" + v + "\"");
        options.seed = *seed;
      } else {
        auto p = ParsePlacement(v);
        if (!p) return fail("bad placement \"" + v + "\" (want X,Y,SHAPE)");
        options.extra.push_back(*p);
      }
    } else if (!a.empty() && a[0] == '-') {
      return fail("unknown option " + a);
    } else if (dir.empty()) {
      dir = a;
    } else {
      return fail("more than one directory given: " + a);
    }
  }
  if (dir.empty()) return fail("no directory given");
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
