// The installation as files: names, sizes, determinism, writing, failures, command line.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "platform/Errors.h"
#include "tests/mkworld/InstallView.h"
#include "tests/support/TempDir.h"
#include "tools/mkworld/CommandLine.h"

namespace zq::mkworld {
namespace {
namespace fs = std::filesystem;
using zq::test::ReadFile;

TEST(MkWorldInstallation, FilesNamesSizesAndDeterminism) {
  std::vector<GeneratedFile> built = BuildInstallation();
  std::vector<std::string> paths, want = {"STATIC/SHAPES.VGA", "STATIC/SHPDIMS.DAT",
                                          "STATIC/TFA.DAT", "STATIC/ZQCHUNKS", "STATIC/ZQMAP"};
  for (int n = 0; n < 144; ++n) want.push_back("STATIC/ZQIFIX" + test::Hex2(n));  // ..0A..8F
  want.push_back("STATIC/INITGAME.DAT");
  for (const GeneratedFile& f : built) paths.push_back(f.path);
  EXPECT_EQ(paths, want);
  auto files = test::ByPath(built);
  EXPECT_EQ(files["STATIC/SHPDIMS.DAT"].size(), 1748u);
  EXPECT_EQ(files["STATIC/TFA.DAT"].size(), 3072u);
  EXPECT_EQ(files["STATIC/ZQCHUNKS"].size(), 1572864u);
  EXPECT_EQ(files["STATIC/ZQMAP"].size(), 73728u);

  // Written twice over the same directory (the second time with another seed): only STATIC/,
  // no SRVDAT, and the bytes of the last build.
  zq::test::TempDir tmp;
  WorldOptions other;
  other.seed = 6;
  other.extra = {{100, 200, SHAPE_WALL}};
  WriteInstallation(tmp.Path(), {});
  WriteInstallation(tmp.Path(), other);
  std::vector<std::string> top;
  for (const auto& e : fs::directory_iterator(tmp.Path())) top.push_back(e.path().filename());
  EXPECT_EQ(top, std::vector<std::string>{"STATIC"});
  auto again = BuildInstallation(other);
  EXPECT_EQ(test::ByPath(again), test::Build(other));
  for (const GeneratedFile& f : again) EXPECT_EQ(ReadFile(tmp / f.path), f.bytes) << f.path;

  // The seed touches the world and objects only.
  auto seeded = test::ByPath(again);
  for (const char* p : {"STATIC/ZQCHUNKS", "STATIC/ZQMAP", "STATIC/INITGAME.DAT"})
    EXPECT_NE(files[p], seeded[p]) << p;
  for (const char* p : {"STATIC/SHAPES.VGA", "STATIC/SHPDIMS.DAT", "STATIC/TFA.DAT"})
    EXPECT_EQ(files[p], seeded[p]) << p;
}

TEST(MkWorldInstallation, FailuresNameThePathOrValueAndWriteNothing) {
  zq::test::TempDir tmp;
  zq::test::WriteFile(tmp / "plain", "x");
  try {
    WriteInstallation(tmp / "plain/sub", {});
    ADD_FAILURE() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_NE(std::string(e.what()).find(tmp / "plain/sub"), std::string::npos) << e.what();
  }
  fs::create_directories(tmp / "blocked/STATIC/ZQMAP");  // a directory where a file goes
  EXPECT_THROW(WriteInstallation(tmp / "blocked", {}), EInOutError);

  for (Placement p : {Placement{3072, 0, 1}, Placement{0, -1, 1}, Placement{-1, 5, 1}}) {
    WorldOptions o;
    o.extra = {{0, 0, SHAPE_WALL}, p};
    try {
      WriteInstallation(tmp / "bad", o);
      ADD_FAILURE() << "no error";
    } catch (const std::invalid_argument& e) {
      const std::string where = "(" + std::to_string(p.x) + ", " + std::to_string(p.y) + ")";
      EXPECT_NE(std::string(e.what()).find(where), std::string::npos) << e.what();
    }
  }
  EXPECT_FALSE(fs::exists(tmp / "bad"));

  // Each placed chunk position takes one of the 3072 - 80 free pattern slots.
  WorldOptions many;
  for (int i = 0; i < 2992; ++i) many.extra.push_back({i % 192 * 16, i / 192 * 16, SHAPE_WALL});
  many.extra.push_back({1, 1, SHAPE_TREE});  // a position already placed
  EXPECT_NO_THROW(BuildInstallation(many));
  many.extra.push_back({2992 % 192 * 16, 2992 / 192 * 16, SHAPE_WALL});
  EXPECT_THROW(BuildInstallation(many), std::invalid_argument);
}

TEST(MkWorldCommandLine, OptionsAndExitStatus) {
  zq::test::TempDir tmp;
  std::string errText;
  auto run = [&](std::vector<std::string> args) {
    std::ostringstream out, err;
    int rc = RunMkWorld(args, out, err);
    errText = out.str() + err.str();
    return rc;
  };
  EXPECT_EQ(run({"--help"}), 0);
  EXPECT_NE(errText.find("usage: zqo-mkworld DIR"), std::string::npos);
  for (std::vector<std::string> bad : {std::vector<std::string>{},
                                       {tmp / "d", "--seed", "12x"},
                                       {tmp / "d", "--seed", "-1"},
                                       {tmp / "d", "--seed", "4294967296"},
                                       {tmp / "d", "--seed"},
                                       {tmp / "d", "--bogus"},
                                       {tmp / "d", "two"},
                                       {tmp / "d", "--place", "1,2"},
                                       {tmp / "d", "--place", "1,2,65536"}})
    EXPECT_EQ(run(bad), 1) << errText;
  EXPECT_EQ(run({tmp / "d", "--place", "3072,2,151"}), 1);
  EXPECT_NE(errText.find("(3072, 2)"), std::string::npos) << errText;
  EXPECT_FALSE(fs::exists(tmp / "d"));
  zq::test::WriteFile(tmp / "file", "x");
  EXPECT_EQ(run({tmp / "file/sub"}), 1);
  EXPECT_NE(errText.find(tmp / "file/sub"), std::string::npos) << errText;

  ASSERT_EQ(run({tmp / "cli", "--seed", "4294967295", "--no-blocking", "--place", "10,20,151",
                 "--place", "11,20,64663"}),
            0);
  WorldOptions same;
  same.seed = 4294967295u;
  same.noBlocking = true;
  same.extra = {{10, 20, 151}, {11, 20, 64663}};
  for (const GeneratedFile& f : BuildInstallation(same))
    EXPECT_EQ(ReadFile(tmp / ("cli/" + f.path)), f.bytes) << f.path;
}

}  // namespace
}  // namespace zq::mkworld
