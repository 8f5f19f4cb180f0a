// Flex containers, INITGAME.DAT entries and the registered-object streams, byte by byte.
#include <gtest/gtest.h>

#include "tests/mkworld/InstallView.h"
#include "tools/mkworld/FlexWriter.h"

namespace zq::mkworld {
namespace {
using test::Byte;
using test::U16;
using test::U32;

TEST(MkWorldFlex, LayoutOfHeaderTableAndNamedEntries) {
  const std::string b = MakeFlex("Title", {"ab", "", "xyz"});
  ASSERT_EQ(b.size(), 128u + 3 * 8 + 5);
  EXPECT_EQ(b.substr(0, 6), std::string("Title\0", 6));
  EXPECT_EQ(b.substr(88, 40), std::string(40, '\0'));
  EXPECT_EQ(U32(b, 84), 3u);
  const uint32_t table[] = {152, 2, 154, 0, 154, 3};  // the empty entry points at the next data
  for (int i = 0; i < 6; ++i) EXPECT_EQ(U32(b, 128 + 4 * i), table[i]) << i;
  EXPECT_EQ(b.substr(152), "abxyz");

  const std::string longTitle = MakeFlex(std::string(200, 'T'), {"z"});
  EXPECT_EQ(longTitle.substr(82, 6), std::string("T\0\1\0\0\0", 6));  // byte 83 stays zero
  EXPECT_EQ(MakeNamedEntry("IDENTITY", "q"), std::string("IDENTITY\0\0\0\0\0q", 14));
  EXPECT_EQ(MakeNamedEntry("FOURTEENCHARS!", ""), "FOURTEENCHARS");
}

// Entries follow the table in order, without gaps or overlap, up to the end of the file.
void ExpectWellFormed(const std::string& path, const std::string& b, uint32_t entries) {
  SCOPED_TRACE(path);
  ASSERT_GE(b.size(), 128u + 8 * entries);
  EXPECT_EQ(U32(b, 84), entries);
  EXPECT_EQ(b.substr(88, 40), std::string(40, '\0'));
  uint64_t next = 128 + 8ull * entries;
  for (const test::FlexEntry& e : test::FlexTable(b)) {
    ASSERT_EQ(e.offset, next);
    next += e.size;
  }
  EXPECT_EQ(next, b.size());
}

std::map<std::string, std::string> InitGameEntries(const std::string& b,
                                                   std::vector<std::string>& names) {
  std::map<std::string, std::string> contents;
  for (const test::FlexEntry& e : test::FlexTable(b)) {
    const std::string entry = b.substr(e.offset, e.size);
    const std::string name = entry.substr(0, std::min(entry.find('\0'), std::size_t{13}));
    if (!entry.empty()) {
      EXPECT_EQ(entry.substr(name.size(), 13 - name.size()), std::string(13 - name.size(), '\0'));
    }
    names.push_back(name);
    contents[name] = entry.empty() ? "" : entry.substr(13);
  }
  return contents;
}

TEST(MkWorldFlex, GeneratedContainersAreWellFormed) {
  auto files = test::Build();
  const std::string& shapes = files["STATIC/SHAPES.VGA"];
  ExpectWellFormed("SHAPES.VGA", shapes, 1024);
  for (const test::FlexEntry& e : test::FlexTable(shapes)) {
    ASSERT_GE(e.size, 8u);
    EXPECT_EQ(U32(shapes, e.offset), e.size);  // non-empty, begins with its own length
  }
  std::size_t items = 0;
  for (int n = 0; n < 144; ++n) {
    const std::string& b = files["STATIC/ZQIFIX" + test::Hex2(n)];
    ExpectWellFormed("ZQIFIX" + test::Hex2(n), b, 256);
    for (const test::FlexEntry& e : test::FlexTable(b)) {
      EXPECT_EQ(e.size % 4, 0u);
      items += e.size / 4;
    }
  }
  EXPECT_GT(items, 30u);

  const std::string& init = files["STATIC/INITGAME.DAT"];
  ExpectWellFormed("INITGAME.DAT", init, 147);
  std::vector<std::string> names;
  auto contents = InitGameEntries(init, names);
  ASSERT_EQ(names.size(), 147u);
  EXPECT_EQ(names[0], "IDENTITY");
  for (int n = 0; n < 144; ++n) EXPECT_EQ(names[1 + n], "ZQIREG" + test::Hex2(n));
  EXPECT_EQ(names[145], "");               // an empty entry
  EXPECT_EQ(names[146], "SCHEDULE.DATA");  // a name filling all 13 bytes
  const std::string& id = contents["IDENTITY"];
  EXPECT_EQ(id.substr(0, id.find_first_of("\r\n")), "QUOREL7");
}

struct StreamStats {
  int records = 0, filledContainers = 0, emptyContainers = 0, loneOnes = 0, onesInContents = 0;
};

// Walks one ZQIREG stream as the loader does, checking our layout rules on the way.
void WalkStream(const std::string& s, const std::string& tfa, StreamStats& st) {
  auto isContainer = [&](uint32_t shape) {
    return (Byte(tfa, 3 * (shape & 0x3FF) + 1) & 0x7F) == 6;
  };
  std::size_t pos = 0;
  for (int zeros = 0; zeros < 256;) {
    ASSERT_LT(pos, s.size()) << "ends before its 256th zero";
    const uint8_t len = Byte(s, pos++);
    zeros += len == 0;
    st.loneOnes += len == 1;
    if (len < 2) continue;
    ASSERT_LE(len, 19);
    ASSERT_LE(pos + len, s.size());
    const std::string r = s.substr(pos, len);
    pos += len;
    ++st.records;
    EXPECT_EQ((Byte(r, 1) >> 4) * 16 + (Byte(r, 0) >> 4), zeros) << "record outside its group";
    if (!isContainer(U16(r, 2))) continue;
    EXPECT_EQ(len, 12);
    const uint32_t nested = U16(r, 4);
    (nested ? st.filledContainers : st.emptyContainers)++;
    for (uint32_t k = 0; k < nested; ++k) {  // contents: records that are not containers
      ASSERT_LT(pos, s.size());
      const uint8_t nl = Byte(s, pos++);
      ASSERT_GE(nl, 2);
      ASSERT_LE(pos + nl, s.size());
      EXPECT_FALSE(isContainer(U16(s, pos + 2)));
      for (std::size_t i = pos; i < pos + nl; ++i) st.onesInContents += Byte(s, i) == 1;
      pos += nl;
    }
    if (nested) {
      ASSERT_LT(pos, s.size());
      EXPECT_EQ(Byte(s, pos++), 1) << "contents end with a length byte 1";
    }
  }
  EXPECT_EQ(pos, s.size()) << "bytes after the 256th zero";
}

TEST(MkWorldInitGame, RegisteredStreamsHave256ZerosAndClosedContainers) {
  auto files = test::Build();
  std::vector<std::string> names;
  auto contents = InitGameEntries(files["STATIC/INITGAME.DAT"], names);
  StreamStats all;
  for (int n = 0; n < 144; ++n) {
    SCOPED_TRACE(n);
    StreamStats st;
    WalkStream(contents["ZQIREG" + test::Hex2(n)], files["STATIC/TFA.DAT"], st);
    if (n == 7 * 12 + 6) {  // the town: two chests with contents, an empty barrel, a lone 1
      EXPECT_GE(st.filledContainers, 2);
      EXPECT_GE(st.emptyContainers, 1);
      EXPECT_GE(st.loneOnes, 1);
      EXPECT_GE(st.onesInContents, 1);
    }
    all.records += st.records;
    all.filledContainers += st.filledContainers;
  }
  EXPECT_GT(all.records, 50);
  EXPECT_GT(all.filledContainers, 5);
}

}  // namespace
}  // namespace zq::mkworld
