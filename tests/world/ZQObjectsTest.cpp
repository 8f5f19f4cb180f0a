#include "world/ZQObjects.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/world/WorldFiles.h"

namespace zq {
namespace {

using test::Flex;
using test::IoErrorOf;
using test::WriteFile;
using test::WriteSuperchunkFiles;

const std::string EMPTY_REG(256, '\0');
constexpr uint16_t CHEST = 400;

// A length byte and `len` record bytes naming (cx, cy), the shape at record bytes 2-3.
std::string Record(int cx, int cy, uint16_t shape, std::string rest, uint8_t len) {
  std::string r{static_cast<char>(cx << 4 | 0x0A), static_cast<char>(cy << 4 | 0x05)};
  r += test::LE16(shape) + rest;
  r.resize(len, 'r');
  return static_cast<char>(len) + r;
}

TEST(ZQObjects, FileNamesUseUpperCaseHexAndResolveCaseInsensitively) {
  test::TempDir dir;
  WriteFile(dir / "static/zqifix0a", "x");
  WriteFile(dir / "static/ZQIFIX0B", "x");
  WriteFile(dir / "static/zqifix0B", "y");
  EXPECT_EQ(SuperchunkFileName(dir / "static/ZQIFIX", 10), dir / "static/zqifix0a");
  EXPECT_EQ(SuperchunkFileName(dir / "static/ZQIFIX", 11), dir / "static/ZQIFIX0B");  // exact
  EXPECT_EQ(SuperchunkFileName(dir / "static/ZQIFIX", 143), dir / "static/ZQIFIX8F");
}

TEST(ZQObjects, RegisteredRecordsGoToTheChunkTheyNameAndContainersSkipTheirContents) {
  test::TempDir dir;
  WriteSuperchunkFiles(dir.Path(), "zqireg", [&](int n) {
    if (n != 13) return EMPTY_REG;
    std::string s(10, '\0');  // zero bytes count wherever they stand
    s += Record(3, 5, 7, "", 6) + '\x01' + Record(3, 5, 8, "", 2);  // a lone 1 carries nothing
    s += Record(15, 15, 9, "0123456789ABCDEFGHIJ", 25);             // longer than a RegItem
    // Container: a byte 1 inside a skipped body does not end the skip, zeros do not count.
    s += Record(0, 1, CHEST | 0x1400, std::string("\x02\x00", 2), 12);
    s += std::string("\x03\x01\x00\x01\x00\x00\x01", 7);
    // Not containers: record bytes 4 and 5 zero; L other than 12.
    s += Record(0, 2, CHEST, std::string(2, '\0'), 12) + Record(0, 2, CHEST, "\x01\x01", 13);
    return s + std::string(246, '\0') + Record(1, 1, 1, "", 4);  // the last is never read
  });
  TfaTable tfa{};
  tfa[CHEST].Bytes[1] = 6;
  std::vector<RegList> lists;
  LoadRegistered(dir / "ZQIREG", tfa, lists);
  ASSERT_EQ(lists.size(), static_cast<std::size_t>(OBJECT_LISTS));
  auto list = [&](int cx, int cy) -> const RegList& {
    return lists[ObjectListIndex(1, 1, cx, cy)];  // file 13
  };
  auto bytes = [](const RegItem& item) {
    return std::string(reinterpret_cast<const char*>(item.Bytes), REG_ITEM_SIZE);
  };
  ASSERT_EQ(list(3, 5).Count, 2);
  EXPECT_EQ(bytes(list(3, 5).Items[0]),
            std::string("\x06\x3A\x55\x07\x00rr", 7) + std::string(13, '\0'));
  EXPECT_EQ(bytes(list(3, 5).Items[1]), std::string("\x02\x3A\x55", 3) + std::string(17, '\0'));
  ASSERT_EQ(list(15, 15).Count, 1);
  EXPECT_EQ(bytes(list(15, 15).Items[0]),
            std::string("\x19\xFA\xF5\x09\x00", 5) + "0123456789ABCDE");
  ASSERT_EQ(list(0, 1).Count, 1);
  EXPECT_EQ(list(0, 1).Items[0].Bytes[4], 0x15);  // stored as it stands, frame bits too
  EXPECT_EQ(list(0, 2).Count, 2);
  int total = 0;
  for (const auto& l : lists) total += l.Count;
  EXPECT_EQ(total, 6);
}

TEST(ZQObjects, RegisteredStreamsLargerThanOneReadBlock) {
  test::TempDir dir;
  std::string big;
  // 65,533 bytes of records: the container record straddles the 65,536-byte read block, and
  // its skip runs past the end of the next block.
  for (int i = 0; i < 5041; ++i) big += Record(i % 16, i / 16 % 16, 7, "", 12);
  big += Record(1, 1, CHEST, "\x03", 12);
  for (int i = 0; i < 400; ++i) big += '\xFF' + std::string(255, '\x01');
  big += std::string("\x01") + Record(15, 15, 9, "last", 19) + EMPTY_REG;
  WriteSuperchunkFiles(dir.Path(), "ZQIREG", [&](int n) { return n == 0 ? big : EMPTY_REG; });
  TfaTable tfa{};
  tfa[CHEST].Bytes[1] = 6;
  std::vector<RegList> lists;
  LoadRegistered(dir / "ZQIREG", tfa, lists);
  int total = 0;
  for (const auto& l : lists) total += l.Count;
  EXPECT_EQ(total, 5041 + 2);
  const RegList& last = lists[ObjectListIndex(0, 0, 15, 15)];
  ASSERT_EQ(last.Count, 5041 / 256 + 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(last.Items.back().Bytes), 9),
            std::string("\x13\xFA\xF5\x09\x00last", 9));
}

TEST(ZQObjects, RegisteredFilesEndingEarlyRaiseNamingTheFile) {
  const std::vector<std::string> bad = {
      std::string(255, '\0'),                    // one zero short
      std::string(10, '\0') + "\x06\x01",        // ends inside a record
      Record(0, 0, CHEST, "\x01", 12) + "\x09",  // ends inside a skip
  };
  TfaTable tfa{};
  tfa[CHEST].Bytes[1] = 6;
  for (const std::string& b : bad) {
    test::TempDir d;
    WriteSuperchunkFiles(d.Path(), "ZQIREG", [&](int n) { return n == 20 ? b : EMPTY_REG; });
    std::vector<RegList> lists;
    EXPECT_NE(IoErrorOf([&] { LoadRegistered(d / "ZQIREG", tfa, lists); }).find(d / "ZQIREG14"),
              std::string::npos);
  }
}

TEST(ZQObjects, FixedEntriesBecomeFourByteItemsPerChunkPosition) {
  test::TempDir dir;
  WriteSuperchunkFiles(dir.Path(), "ZQIFIX", [&](int n) {
    std::vector<std::string> e(257);
    e[0] = "aaaabbbbcccc";  // 3 items
    e[17] = "dddde";        // 1 item, the remainder dropped
    e[18] = "xyz";          // 1 to 3 bytes: no item, nothing copied
    e[19] = "q";
    e[256] = "beyond";                           // never read
    if (n == 143) e = {"0123", "", "4567abcd"};  // 3 entries, repeated from entry 0
    if (n == 77) return test::FlexRaw(2, {{0, 4}, {1 << 30, 8}});  // entry 1 beyond the end
    return Flex(e);
  });
  std::vector<FixList> lists;
  auto text = [](const FixList& l) {
    return std::to_string(l.Count) + ":" +
           std::string(reinterpret_cast<const char*>(l.Items.data()), l.Items.size() * 4);
  };
  EXPECT_NE(IoErrorOf([&] { LoadFixed(dir / "ZQIFIX", lists); }).find("ZQIFIX4D"),
            std::string::npos);
  EXPECT_EQ(text(lists[0]), "3:aaaabbbbcccc");  // lists filled so far stay
  WriteFile(dir / "ZQIFIX4D", Flex({"zzzz"}));
  LoadFixed(dir / "ZQIFIX", lists);
  EXPECT_EQ(text(lists[ObjectListIndex(0, 0, 1, 1)]), "1:dddd");
  EXPECT_EQ(text(lists[ObjectListIndex(0, 0, 2, 0)]), "0:");
  EXPECT_EQ(text(lists[ObjectListIndex(0, 0, 2, 1)]), "0:");
  EXPECT_EQ(text(lists[ObjectListIndex(0, 0, 3, 1)]), "0:");
  EXPECT_EQ(text(lists[ObjectListIndex(5, 6, 15, 15)]), "1:zzzz");  // file 4D wraps at once
  for (int k = 0; k < 256; ++k) {
    const char* want[] = {"1:0123", "0:", "2:4567abcd"};
    EXPECT_EQ(text(lists[ObjectListIndex(11, 11, k % 16, k / 16)]), want[k % 3]) << k;
  }
  std::filesystem::remove(dir / "ZQIFIX00");
  EXPECT_NE(IoErrorOf([&] { LoadFixed(dir / "ZQIFIX", lists); }).find("ZQIFIX00"),
            std::string::npos);
}

}  // namespace
}  // namespace zq
