// The per-address limit: five failures within the window, the block's end, and the bound on
// the addresses remembered.
#include <gtest/gtest.h>

#include "accounts/LoginThrottle.h"

namespace zq {
namespace {

TEST(LoginThrottle, FifthFailureWithinAMinuteBlocksForAMinute) {
  TLoginThrottle throttle;
  const std::string a = "127.0.0.1";
  for (int i = 0; i < 4; ++i) throttle.Failed(a, 1000 + i * 10);
  EXPECT_FALSE(throttle.Blocked(a, 1040));
  throttle.Failed(a, 1059);  // fifth, 59 s after the first
  EXPECT_TRUE(throttle.Blocked(a, 1059));
  EXPECT_TRUE(throttle.Blocked(a, 1059 + 59));
  for (int i = 0; i < 10; ++i) throttle.Failed(a, 1100);  // while blocked: not counted
  EXPECT_FALSE(throttle.Blocked(a, 1059 + 60));
  throttle.Failed(a, 1120);  // one fresh failure is not five
  EXPECT_FALSE(throttle.Blocked(a, 1120));
  EXPECT_FALSE(throttle.Blocked("127.0.0.2", 1060));
}

TEST(LoginThrottle, FailuresSpreadOverMoreThanTheWindowDoNotBlock) {
  TLoginThrottle throttle;
  for (int i = 0; i < 20; ++i) {
    throttle.Failed("127.0.0.1", i * 15);  // every 15 s: five span exactly 60 s
    ASSERT_FALSE(throttle.Blocked("127.0.0.1", i * 15)) << i;
  }
  throttle.Failed("127.0.0.1", 19 * 15 + 1);  // now five within 46 s
  EXPECT_TRUE(throttle.Blocked("127.0.0.1", 19 * 15 + 1));
}

TEST(LoginThrottle, BoundedForgettingQuietAddressesBeforeBlockedOnes) {
  TLoginThrottle throttle(8);
  for (int i = 0; i < TLoginThrottle::FAILURES; ++i) throttle.Failed("127.0.0.200", 0);
  ASSERT_TRUE(throttle.Blocked("127.0.0.200", 0));
  for (int i = 0; i < 100; ++i) {
    throttle.Failed("127.0.1." + std::to_string(i), 1 + i / 10);
    ASSERT_LE(throttle.Size(), 8u);
  }
  EXPECT_TRUE(throttle.Blocked("127.0.0.200", 20));  // the blocked one was kept
  // Long after, stale entries make room at once.
  throttle.Failed("127.0.2.1", 10'000);
  EXPECT_EQ(throttle.Size(), 1u);
}

}  // namespace
}  // namespace zq
