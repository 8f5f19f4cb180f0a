#include "world/FlexRead.h"

#include <gtest/gtest.h>

#include "tests/world/WorldFiles.h"

namespace zq {
namespace {

using test::Flex;
using test::FlexRaw;
using test::IoErrorOf;
using test::WriteFile;

TEST(FlexReader, LoopVisitsEachEntryOnceThenStandsOnEntryZeroAgain) {
  test::TempDir dir;
  WriteFile(dir / "one", Flex({"abc"}));
  TFlexReader one(dir / "one");
  EXPECT_FALSE(one.NextEntry());
  EXPECT_EQ(one.EntryIndex(), 0);
  EXPECT_EQ(one.ReadEntry(), "abc");

  WriteFile(dir / "three", Flex({"first", "", "third!"}));
  TFlexReader r(dir / "three");
  const int32_t offset0 = r.EntryOffset();
  std::vector<std::string> seen;
  std::vector<bool> results;
  for (int guard = 0; guard < 10 && (results.empty() || results.back()); ++guard) {
    std::string buf(static_cast<std::size_t>(r.EntrySize()), '?');
    r.ReadEntry(buf.data());  // an empty entry reads nothing
    seen.push_back(std::to_string(r.EntryIndex()) + buf);
    results.push_back(r.NextEntry());
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"0first", "1", "2third!"}));
  EXPECT_EQ(results, (std::vector<bool>{true, true, false}));
  EXPECT_EQ(r.EntryIndex(), 0);
  EXPECT_EQ(r.EntryOffset(), offset0);
  EXPECT_EQ(r.EntrySize(), 5);
}

TEST(FlexReader, BadFilesRaiseInOutErrorNamingTheFile) {
  test::TempDir dir;
  auto expectNamed = [&](const std::string& name, auto fn) {
    EXPECT_NE(IoErrorOf(fn).find(dir / name), std::string::npos) << name;
  };
  expectNamed("missing", [&] { TFlexReader r(dir / "missing"); });
  WriteFile(dir / "count0", FlexRaw(0, {{128, 0}}));
  expectNamed("count0", [&] { TFlexReader r(dir / "count0"); });
  WriteFile(dir / "countneg", FlexRaw(INT32_MIN, {{128, 0}}));
  expectNamed("countneg", [&] { TFlexReader r(dir / "countneg"); });
  WriteFile(dir / "header", std::string(86, '\0'));  // ends inside the count
  expectNamed("header", [&] { TFlexReader r(dir / "header"); });
  WriteFile(dir / "record0", FlexRaw(1, {}) + "1234");  // record 0 cut short
  expectNamed("record0", [&] { TFlexReader r(dir / "record0"); });

  // A huge count allocates nothing beyond the file; stepping onto a missing record fails.
  WriteFile(dir / "huge", FlexRaw(INT32_MAX, {{136, 1}}, "z"));
  TFlexReader huge(dir / "huge");
  EXPECT_EQ(huge.ReadEntry(), "z");
  expectNamed("huge", [&] { huge.NextEntry(); });

  // Entries reaching past the end, starting past it, with a negative offset or size, or whose
  // offset + size overflows 32 bits.
  WriteFile(dir / "beyond",
            FlexRaw(5, {{168, 3}, {1000, 1}, {-1, 1}, {168, -2}, {168, INT32_MAX}}, "ab"));
  TFlexReader r(dir / "beyond");
  for (int i = 0; i < 5; ++i, r.NextEntry()) {
    char buf[8];
    expectNamed("beyond", [&] { r.ReadEntry(buf); });
    expectNamed("beyond", [&] { r.ReadEntry(); });
  }
}

}  // namespace
}  // namespace zq
