#include "world/IregExtract.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "tests/world/WorldFiles.h"

namespace zq {
namespace {

namespace fs = std::filesystem;
using test::Flex;
using test::IoErrorOf;
using test::Named;
using test::ReadFile;
using test::WriteFile;

struct RecordingProgress : IExtractProgress {
  std::vector<std::string> events;  // "<label>:<text>" or "events"
  void SetLabel(int label, const std::string& text) override {
    events.push_back(std::to_string(label) + ":" + text);
  }
  void ProcessEvents() override { events.push_back("events"); }
  long Count(const std::string& prefix) const {
    return std::count_if(events.begin(), events.end(),
                         [&](const std::string& e) { return e.rfind(prefix, 0) == 0; });
  }
};

std::set<std::string> FilesBelow(const std::string& root) {
  std::set<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (!e.is_directory()) out.insert(fs::relative(e.path(), root).string());
  return out;
}

TEST(IregExtract, WritesEachNamedEntryInOrderWithProgress) {
  test::TempDir dir;
  std::string big(EXTRACT_BUFFER_SIZE + 100, '\0');  // larger than the transfer buffer
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 251);
  WriteFile(dir / "game/static/initgame.dat",
            Flex({Named("IDENTITY", std::string(20, 'i')), "", Named("ABCDEFGHIJKLM", "13"),
                  Named("EMPTYFILE", ""), Named("BIG", big), Named("IDENTITY", "replaced")}));
  fs::create_directory(dir / "game/SRVDAT");
  RecordingProgress progress;
  ExtractInitGame(dir / "game", dir / "game/SRVDAT", progress);  // no trailing slash
  const std::string out = dir / "game/SRVDAT/";
  EXPECT_EQ(FilesBelow(out),
            (std::set<std::string>{"IDENTITY", "ABCDEFGHIJKLM", "EMPTYFILE", "BIG"}));
  EXPECT_EQ(ReadFile(out + "IDENTITY"), "replaced");
  EXPECT_EQ(ReadFile(out + "ABCDEFGHIJKLM"), "13");
  EXPECT_EQ(fs::file_size(out + "EMPTYFILE"), 0u);
  EXPECT_TRUE(ReadFile(out + "BIG") == big);

  EXPECT_EQ(progress.Count("2:Searching for entries..."), 6);
  EXPECT_EQ(progress.Count("2:Reading entry..."), 5);  // the empty entry writes nothing
  EXPECT_EQ(progress.Count("3:Writing "), 5);
  EXPECT_EQ(progress.events.front(), "1:Opening INITGAME.DAT flex file...");
  const std::vector<std::string> tail(progress.events.end() - 5, progress.events.end());
  EXPECT_EQ(tail,
            (std::vector<std::string>{"1:Closing flex file..", "2:", "3:Done.", "events", "1:"}));
  auto it =
      std::find(progress.events.begin(), progress.events.end(), "3:Writing " + out + "IDENTITY...");
  ASSERT_LT(it + 2, progress.events.end());
  EXPECT_EQ(it[1], "events");
  EXPECT_EQ(it[2], "3:Wrote " + out + "IDENTITY");
}

TEST(IregExtract, UnusableNamesAreRefusedNamingTheEntryAndNothingLandsOutside) {
  test::TempDir dir;
  fs::create_directory(dir / "out");
  WriteFile(dir / "victim", "untouched");
  TNullProgress progress;
  const std::vector<std::pair<std::string, std::string>> bad = {{"", "''"},
                                                                {".", "'.'"},
                                                                {"..", "'..'"},
                                                                {"../victim", "'../victim'"},
                                                                {"a/b", "'a/b'"},
                                                                {"..\\win", "'..\\win'"},
                                                                {"/etc/passwd", "'/etc/passwd'"},
                                                                {"a/\x1b[2J", "'a/\\x1B[2J'"}};
  for (const auto& [name, shown] : bad) {
    WriteFile(dir / "STATIC/INITGAME.DAT", Flex({Named("ok", "fine"), "", Named(name, "bad")}));
    const std::string error =
        IoErrorOf([&] { ExtractInitGame(dir.Path(), dir / "out", progress); });
    EXPECT_NE(error.find("entry# 2 has the file name " + shown), std::string::npos) << error;
  }
  EXPECT_EQ(FilesBelow(dir.Path()),
            (std::set<std::string>{"STATIC/INITGAME.DAT", "out/ok", "victim"}));
  EXPECT_EQ(ReadFile(dir / "victim"), "untouched");
  EXPECT_FALSE(IsUsableFileName(std::string("a\0b", 3)));
  EXPECT_TRUE(IsUsableFileName("...."));
}

TEST(IregExtract, ExistingFilesAndLinksAreReplacedNeverFollowed) {
  test::TempDir dir;
  WriteFile(dir / "STATIC/INITGAME.DAT", Flex({Named("ok", "fine"), Named("dangling", "d")}));
  fs::create_directory(dir / "out");
  WriteFile(dir / "victim", "untouched");
  fs::create_symlink(dir / "victim", dir / "out/ok");
  fs::create_symlink(dir / "nowhere", dir / "out/dangling");
  TNullProgress progress;
  ExtractInitGame(dir.Path(), dir / "out/", progress);
  EXPECT_FALSE(fs::is_symlink(dir / "out/ok"));
  EXPECT_EQ(ReadFile(dir / "out/ok"), "fine");
  EXPECT_EQ(ReadFile(dir / "out/dangling"), "d");
  EXPECT_EQ(ReadFile(dir / "victim"), "untouched");
  EXPECT_FALSE(fs::exists(dir / "nowhere"));
  fs::remove(dir / "out/ok");
  fs::create_directory(dir / "out/ok");  // a directory in the way is an error, not replaced
  EXPECT_NE(
      IoErrorOf([&] { ExtractInitGame(dir.Path(), dir / "out/", progress); }).find(dir / "out/ok"),
      std::string::npos);
}

TEST(IregExtract, FailuresRaiseNamingTheFileAndKeepWhatWasWritten) {
  test::TempDir dir;
  TNullProgress progress;
  fs::create_directory(dir / "out");
  EXPECT_NE(IoErrorOf([&] {
              ExtractInitGame(dir.Path(), dir / "out", progress);
            }).find(dir / "STATIC/INITGAME.DAT"),
            std::string::npos);
  std::string flex = Flex({Named("FIRST", "1"), Named("SECOND", "2")});
  flex.replace(128 + 12, 4, test::LE32(1u << 30));  // entry 1 reaches far beyond the end
  WriteFile(dir / "STATIC/INITGAME.DAT", flex);
  EXPECT_NE(IoErrorOf([&] {
              ExtractInitGame(dir.Path(), dir / "out", progress);
            }).find(dir / "STATIC/INITGAME.DAT"),
            std::string::npos);
  EXPECT_EQ(ReadFile(dir / "out/FIRST"), "1");
  EXPECT_NE(IoErrorOf([&] {
              ExtractInitGame(dir.Path(), dir / "nowhere", progress);
            }).find(dir / "nowhere"),
            std::string::npos);
}

}  // namespace
}  // namespace zq
