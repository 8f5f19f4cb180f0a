#include "world/Installation.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "platform/Files.h"
#include "tests/world/WorldFiles.h"

namespace zq {
namespace {

namespace fs = std::filesystem;
using test::Flex;
using test::IoErrorOf;
using test::Named;
using test::ReadFile;
using test::WriteFile;

// Every name directly in `dir`.
std::set<std::string> Listing(const std::string& dir) {
  std::set<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.insert(e.path().filename().string());
  return out;
}

struct LabelRecorder : IExtractProgress {
  std::vector<std::string> writes;
  void SetLabel(int label, const std::string& text) override {
    if (label == 3 && text.rfind("Writing ", 0) == 0) writes.push_back(text);
  }
  void ProcessEvents() override {}
};

TEST(Installation, CheckFindsStaticInAnyCaseAndWritesNothing) {
  test::TempDir dir;
  EXPECT_NE(IoErrorOf([&] { CheckInstallation(dir / "missing"); }).find(dir / "missing"),
            std::string::npos);
  EXPECT_NE(IoErrorOf([&] { CheckInstallation(dir.Path()); }).find("holds no STATIC directory"),
            std::string::npos);
  WriteFile(dir / "STATIC", "a file, not a directory");
  EXPECT_NE(IoErrorOf([&] { CheckInstallation(dir.Path()); }).find(dir.Path()), std::string::npos);
  EXPECT_EQ(Listing(dir.Path()), std::set<std::string>{"STATIC"});
  fs::remove(dir / "STATIC");
  fs::create_directory(dir / "Static");
  CheckInstallation(dir.Path());
  CheckInstallation(dir.Path() + "/");
  EXPECT_EQ(Listing(dir.Path()), std::set<std::string>{"Static"});
}

TEST(Installation, DataDirectoryIsFoundInAnyCase) {
  test::TempDir dir;
  EXPECT_EQ(FindDataDirectory(dir.Path()), std::nullopt);
  WriteFile(dir / "SRVDAT.unpacking-abcdef/IDENTITY", "x");
  EXPECT_EQ(FindDataDirectory(dir.Path()), std::nullopt);
  fs::create_directory(dir / "srvdat");
  EXPECT_EQ(FindDataDirectory(dir.Path()), dir / "srvdat/");
}

TEST(Installation, BuildUnpacksBesideAndRenamesWhenComplete) {
  test::TempDir dir;
  WriteFile(dir / "STATIC/INITGAME.DAT",
            Flex({Named("IDENTITY", ""), "", Named("ZQIREG00", "reg")}));
  LabelRecorder progress;
  EXPECT_EQ(BuildDataDirectory(dir.Path(), progress), dir / "SRVDAT/");
  EXPECT_EQ(Listing(dir.Path()), (std::set<std::string>{"STATIC", "SRVDAT"}));
  EXPECT_EQ(Listing(dir / "SRVDAT"), (std::set<std::string>{"IDENTITY", "ZQIREG00"}));
  EXPECT_EQ(ReadFile(dir / "SRVDAT/IDENTITY"), "");  // an empty identity is valid
  EXPECT_EQ(ReadFile(dir / "SRVDAT/ZQIREG00"), "reg");
  // The files were written into the temporary directory, not into SRVDAT.
  ASSERT_EQ(progress.writes.size(), 2u);
  EXPECT_EQ(progress.writes[0].find("Writing " + dir.Path() + "/" + UNPACKING_PREFIX), 0u)
      << progress.writes[0];

  // An existing SRVDAT is never replaced, and the attempt leaves nothing behind.
  WriteFile(dir / "SRVDAT/IDENTITY", "kept");
  EXPECT_NE(IoErrorOf([&] { BuildDataDirectory(dir.Path(), progress); }).find("SRVDAT"),
            std::string::npos);
  EXPECT_EQ(ReadFile(dir / "SRVDAT/IDENTITY"), "kept");
  EXPECT_EQ(Listing(dir.Path()), (std::set<std::string>{"STATIC", "SRVDAT"}));
}

TEST(Installation, FailedBuildLeavesNeitherDataDirectoryNorTemporaryOne) {
  test::TempDir dir;
  TNullProgress progress;
  // No archive at all.
  fs::create_directory(dir / "STATIC");
  EXPECT_NE(IoErrorOf([&] { BuildDataDirectory(dir.Path(), progress); }).find("INITGAME.DAT"),
            std::string::npos);
  EXPECT_EQ(Listing(dir.Path()), std::set<std::string>{"STATIC"});
  // An entry beyond the end of the file, after one that was written.
  std::string flex = Flex({Named("FIRST", "1"), Named("SECOND", "2")});
  flex.replace(128 + 12, 4, test::LE32(1u << 30));
  WriteFile(dir / "STATIC/INITGAME.DAT", flex);
  EXPECT_NE(IoErrorOf([&] { BuildDataDirectory(dir.Path(), progress); }).find("entry 1"),
            std::string::npos);
  EXPECT_EQ(Listing(dir.Path()), std::set<std::string>{"STATIC"});
  // A name that would leave the directory.
  WriteFile(dir / "STATIC/INITGAME.DAT", Flex({Named("FIRST", "1"), Named("../up", "2")}));
  EXPECT_NE(IoErrorOf([&] { BuildDataDirectory(dir.Path(), progress); }).find("'../up'"),
            std::string::npos);
  EXPECT_EQ(Listing(dir.Path()), std::set<std::string>{"STATIC"});
}

TEST(Installation, UnfinishedUnpackingsAreRemovedUnlessStillInUse) {
  test::TempDir dir;
  const std::string prefix = dir / UNPACKING_PREFIX;
  WriteFile(prefix + "Ab12Cd/IDENTITY", "left by a killed start");
  WriteFile(prefix + "Ab12Cd/deeper/file", "x");
  fs::create_directory(prefix + "inUse1");
  WriteFile(prefix + "plain1", "a file of that name is not ours");
  fs::create_directory(dir / "elsewhere");
  fs::create_directory_symlink(dir / "elsewhere", prefix + "link01");
  WriteFile(dir / "elsewhere/keep", "k");
  fs::create_directory(prefix + "longer-name");
  fs::create_directory(dir / "SRVDAT");
  {
    TDirectory held = TDirectory::Open(prefix + "inUse1");
    ASSERT_TRUE(held.TryLock());
    EXPECT_EQ(RemoveUnfinishedUnpacking(dir.Path()), 1);
  }
  std::string p = UNPACKING_PREFIX;
  EXPECT_EQ(Listing(dir.Path()), (std::set<std::string>{p + "inUse1", p + "plain1", p + "link01",
                                                        p + "longer-name", "elsewhere", "SRVDAT"}));
  EXPECT_EQ(ReadFile(dir / "elsewhere/keep"), "k");
  EXPECT_EQ(RemoveUnfinishedUnpacking(dir.Path()), 1);  // released: now it goes
  EXPECT_FALSE(fs::exists(prefix + "inUse1"));
  EXPECT_EQ(RemoveUnfinishedUnpacking(dir / "missing"), 0);
}

}  // namespace
}  // namespace zq
