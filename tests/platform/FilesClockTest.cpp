// Files: case-insensitive name resolution and exact reads whose errors name the file.
// Clock: a replaceable tick source.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "tests/support/TempDir.h"

namespace zq {
namespace {

using test::TempDir;
using test::WriteFile;

TEST(FilesTest, ResolvePathMatchesEachComponentIgnoringCase) {
  TempDir dir;
  WriteFile(dir / "Static/ShApEs.Vga", "x");
  WriteFile(dir / "Static/zqmap", "m");
  EXPECT_EQ(ResolvePath(dir.Path(), "STATIC/SHAPES.VGA"), dir / "Static/ShApEs.Vga");
  EXPECT_EQ(ResolvePath(dir.Path(), "static/ZQMAP"), dir / "Static/zqmap");
  // Missing components are kept as written, so the open names them.
  EXPECT_EQ(ResolvePath(dir.Path(), "STATIC/ZQIFIX00"), dir / "Static/ZQIFIX00");
  EXPECT_EQ(ResolvePath(dir.Path(), "SRVDAT/IDENTITY"), dir / "SRVDAT/IDENTITY");
}

TEST(FilesTest, ExactMatchWinsOverOtherCases) {
  TempDir dir;
  WriteFile(dir / "data/TFA.DAT", "upper");
  WriteFile(dir / "data/tfa.dat", "lower");
  WriteFile(dir / "data/Tfa.Dat", "mixed");
  EXPECT_EQ(ResolvePath(dir.Path(), "data/tfa.dat"), dir / "data/tfa.dat");
  EXPECT_EQ(ResolvePath(dir.Path(), "data/TFA.DAT"), dir / "data/TFA.DAT");
  EXPECT_EQ(ResolvePath(dir.Path(), "data/Tfa.Dat"), dir / "data/Tfa.Dat");
}

TEST(FilesTest, ShortOrMissingFilesRaiseErrorsNamingTheFile) {
  TempDir dir;
  const std::string path = dir / "SHPDIMS.DAT";
  WriteFile(path, std::string("\x01\x02\x03", 3));
  EXPECT_EQ(ReadExactly(path, 3), std::string("\x01\x02\x03", 3));
  EXPECT_EQ(ReadExactly(path, 2), std::string("\x01\x02", 2)) << "longer files are fine";
  try {
    ReadExactly(path, 4);
    FAIL() << "a short file must raise";
  } catch (const EInOutError& e) {
    EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
  }
  const std::string missing = dir / "ZQCHUNKS";
  try {
    ReadExactly(missing, 1);
    FAIL() << "a missing file must raise";
  } catch (const EInOutError& e) {
    EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
  }
}

TEST(FilesTest, BinaryFileReadPastEndAndBadSeekRaise) {
  TempDir dir;
  WriteFile(dir / "two.bin", "ab");
  TBinaryFile in = TBinaryFile::OpenRead(dir / "two.bin");
  in.Seek(1);
  EXPECT_EQ(in.ReadByte(), 'b');
  EXPECT_THROW(in.ReadByte(), EInOutError);
  EXPECT_THROW(in.Seek(-1), EInOutError);
  EXPECT_THROW(TBinaryFile::Create(dir / "no/such/dir/file"), EInOutError);
}

uint32_t FakeTicks() {
  return 0xFFFFFFF0u;
}

TEST(FilesTest, DirectoryCreatesPlainFilesInsideItOnly) {
  TempDir dir;
  std::filesystem::create_directory(dir / "out");
  TDirectory out = TDirectory::Open(dir / "out");
  EXPECT_EQ(out.Path(), dir / "out/");
  for (const std::string& bad :
       std::vector<std::string>{"", ".", "..", "../x", "a/b", std::string("a\0b", 3)})
    EXPECT_THROW(out.CreateFile(bad), EInOutError) << bad;
  std::filesystem::create_directory(dir / "out/sub");
  EXPECT_THROW(out.CreateFile("sub"), EInOutError);  // a directory in the way stays
  // The directory is held, not its path: a rename under it does not redirect the files.
  std::filesystem::rename(dir / "out", dir / "moved");
  std::filesystem::create_directory(dir / "out");
  TBinaryFile f = out.CreateFile("a");
  f.Write("x", 1);
  f.Close();
  EXPECT_TRUE(std::filesystem::exists(dir / "moved/a"));
  EXPECT_FALSE(std::filesystem::exists(dir / "out/a"));
  EXPECT_THROW(TDirectory::Open(dir / "moved/a"), EInOutError);  // not a directory
}

TEST(FilesTest, RenameNeverReplacesEvenAnEmptyDirectory) {
  TempDir dir;
  const std::string temp = MakeTempDirectory(dir / "T.");
  EXPECT_EQ(temp.rfind(dir / "T.", 0), 0u);
  EXPECT_EQ(temp.size(), (dir / "T.").size() + 6);
  WriteFile(temp + "/f", "1");
  std::filesystem::create_directory(dir / "target");  // plain rename(2) would replace it
  EXPECT_THROW(RenameNoReplace(temp, dir / "target"), EInOutError);
  EXPECT_TRUE(std::filesystem::exists(temp + "/f"));
  std::filesystem::remove(dir / "target");
  RenameNoReplace(temp, dir / "target");
  EXPECT_TRUE(std::filesystem::exists(dir / "target/f"));
  EXPECT_THROW(MakeTempDirectory(dir / "missing/T."), EInOutError);
}

TEST(ClockTest, TickSourceIsReplaceableAndRestorable) {
  SetTickSource(&FakeTicks);
  EXPECT_EQ(GetTickCount(), 0xFFFFFFF0u);
  SetTickSource(nullptr);
  uint32_t a = GetTickCount();
  uint32_t b = GetTickCount();
  EXPECT_LT(static_cast<uint32_t>(b - a), 1000u) << "the monotonic clock is back";
}

}  // namespace
}  // namespace zq
