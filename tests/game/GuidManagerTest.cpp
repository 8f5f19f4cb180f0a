#include "game/GuidManager.h"

#include <gtest/gtest.h>

#include "platform/Console.h"
#include "platform/Errors.h"

namespace zq {
namespace {

using Runs = std::vector<std::pair<uint32_t, uint32_t>>;
using Lines = std::vector<std::string>;

void Take(TGUIDManager& m, uint32_t n) {
  for (uint32_t i = 1; i <= n; ++i) ASSERT_EQ(m.newGUID(), i);
}

TEST(GuidManager, LowestFreeComesFirstAndRunsMerge) {
  ConsoleCapture console;
  TGUIDManager m;
  Take(m, 5);
  m.releaseGUID(3);
  EXPECT_EQ(m.Runs(), (Runs{{0, 2}, {4, 5}}));
  EXPECT_EQ(m.newGUID(), 3u);
  EXPECT_EQ(m.newGUID(), 6u);

  m.releaseGUID(2);
  m.releaseGUID(4);
  EXPECT_EQ(m.Runs(), (Runs{{0, 1}, {3, 3}, {5, 6}}));
  console.Clear();
  EXPECT_EQ(m.newGUID(), 2u);
  EXPECT_EQ(m.Runs(), (Runs{{0, 3}, {5, 6}}));
  EXPECT_EQ(console.Lines(), (Lines{"GUIDManager.newGUID: releasing deletedNode", "* ok"}));
  EXPECT_EQ(m.newGUID(), 4u);
  EXPECT_EQ(m.Runs(), (Runs{{0, 6}}));
  EXPECT_EQ(m.newGUID(), 7u);
}

TEST(GuidManager, ReleasesSplitShrinkAndRemoveRuns) {
  ConsoleCapture console;
  TGUIDManager m;
  Take(m, 5);
  m.releaseGUID(5);  // the top shrinks the first run, no new run
  EXPECT_EQ(m.Runs(), (Runs{{0, 4}}));
  EXPECT_TRUE(console.Lines().empty());
  m.releaseGUID(4);
  m.releaseGUID(1);  // split: [0,0] [2,3]
  EXPECT_EQ(m.Runs(), (Runs{{0, 0}, {2, 3}}));
  m.releaseGUID(2);
  console.Clear();
  m.releaseGUID(3);  // [3,3] empties and goes
  EXPECT_EQ(console.Lines(), (Lines{"GUIDManager.releaseGUID: releasing curNode", "* ok"}));
  EXPECT_EQ(m.Runs(), (Runs{{0, 0}}));
  EXPECT_EQ(m.newGUID(), 1u);
}

TEST(GuidManager, BadReleasesLeaveTheRunsAloneAndDestroyReportsEachRun) {
  ConsoleCapture console;
  {
    TGUIDManager m;
    Take(m, 5);
    m.releaseGUID(3);
    try {
      m.releaseGUID(0);
      FAIL() << "no internal check";
    } catch (const EInternalCheck& e) {
      EXPECT_STREQ(e.what(), "Call to releaseGUID with ID=0");
      EXPECT_EQ(e.Module(), "GuidManagerU");
    }
    m.releaseGUID(3);   // not in use
    m.releaseGUID(99);  // above every run
    EXPECT_EQ(m.Runs(), (Runs{{0, 2}, {4, 5}}));
    m.releaseGUID(5);
    m.releaseGUID(1);  // runs [0,0] [2,2] [4,4]
    console.Clear();
  }
  EXPECT_EQ(console.Lines(), (Lines(3, "GUIDManager.Destroy: releasing")));
}

}  // namespace
}  // namespace zq
