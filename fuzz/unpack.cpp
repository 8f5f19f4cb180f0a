// The first start's unpacking on a mutated INITGAME.DAT: either SRVDAT appears holding only
// plain files, one per entry, and every entry's name was usable, or the unpacking raises
// EInOutError and nothing remains of it. Nothing is ever written outside the game directory's
// SRVDAT: four directory levels above it hold only what they held before.
#include <filesystem>
#include <set>

#include "fuzz/FuzzSupport.h"
#include "platform/Errors.h"
#include "tools/mkworld/FlexWriter.h"
#include "world/FlexRead.h"
#include "world/Installation.h"

namespace fs = std::filesystem;

std::vector<std::string> FuzzSeeds() {
  using zq::mkworld::MakeFlex;
  using zq::mkworld::MakeNamedEntry;
  return {
      zq::fuzz::GeneratedFile("STATIC/INITGAME.DAT"),
      MakeFlex("names", {MakeNamedEntry("IDENTITY", "Q"), "", MakeNamedEntry("ABCDEFGHIJKLM", "13"),
                         MakeNamedEntry("IDENTITY", "again")}),
      MakeFlex("up", {MakeNamedEntry("ok", "1"), MakeNamedEntry("../../../../x", "2")}),
      MakeFlex("back", {MakeNamedEntry("..\\x", "1"), MakeNamedEntry("..", "2")}),
      MakeFlex("empty", {std::string(13, '\0') + "x", "short"})};
}

namespace {

std::set<std::string> Listing(const std::string& dir) {
  std::set<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.insert(e.path().filename().string());
  return out;
}

// Every non-empty entry's name, walking the container as the unpacking does.
std::vector<std::string> EntryNames(const std::string& path) {
  std::vector<std::string> names;
  zq::TFlexReader reader(path);
  do {
    if (reader.EntrySize() != 0) names.push_back(zq::EntryFileName(reader.ReadEntry()));
  } while (reader.NextEntry());
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using zq::fuzz::Require;
  static const std::string top = zq::fuzz::ScratchDir() + "/u1";
  static const std::string game = top + "/u2/u3/u4/game/";
  static const bool made = [] {
    fs::create_directories(game + "STATIC");
    return true;
  }();
  (void)made;
  zq::fuzz::WriteBytes(game + "STATIC/INITGAME.DAT", data, size);
  fs::create_directory(game + zq::UNPACKING_PREFIX + "Xy12Z9");  // as a killed start leaves it
  Require(zq::RemoveUnfinishedUnpacking(game) == 1, "what a killed start left is removed");

  zq::TNullProgress progress;
  bool built = false;
  try {
    Require(zq::BuildDataDirectory(game, progress) == game + "SRVDAT/", "SRVDAT is returned");
    built = true;
  } catch (const zq::EInOutError&) {
  }
  std::string above = top;
  for (const char* next : {"u2", "u3", "u4", "game"}) {
    Require(Listing(above) == std::set<std::string>{next}, "nothing lands above the game dir");
    above += std::string("/") + next;
  }
  Require(Listing(game + "STATIC") == std::set<std::string>{"INITGAME.DAT"},
          "nothing lands in STATIC");
  Require(Listing(game) ==
              (built ? std::set<std::string>{"STATIC", "SRVDAT"} : std::set<std::string>{"STATIC"}),
          "SRVDAT appears only when complete, and no temporary directory remains");
  if (!built) return 0;

  const std::set<std::string> files = Listing(game + "SRVDAT");
  for (const std::string& name : files)
    Require(fs::symlink_status(game + "SRVDAT/" + name).type() == fs::file_type::regular,
            "SRVDAT holds plain files only");
  try {
    for (const std::string& name : EntryNames(game + "STATIC/INITGAME.DAT")) {
      Require(zq::IsUsableFileName(name), "an entry with an unusable name is refused");
      Require(files.count(name) == 1, "every entry became its file");
    }
  } catch (const zq::EInOutError&) {
    Require(false, "a container that unpacked reads again");
  }
  fs::remove_all(game + "SRVDAT");
  return 0;
}
