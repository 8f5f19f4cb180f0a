// Names shown as text and read back: UTF-8 shown as it is, every other byte, control
// characters and backslashes escaped, and every name coming back from its text exactly.
#include <gtest/gtest.h>

#include <set>

#include "accounts/NameText.h"

namespace zq {
namespace {

TEST(NameText, OnlyWhatIsNotPlainUtf8IsEscaped) {
  EXPECT_EQ(ShowName("alice"), "alice");
  EXPECT_EQ(ShowName("Zo\xC3\xAB \xE6\x97\xA5 \xF0\x9F\x98\x80"),
            "Zo\xC3\xAB \xE6\x97\xA5 \xF0\x9F\x98\x80");
  EXPECT_EQ(ShowName("caf\xE9"), "caf\\xE9");
  EXPECT_EQ(ShowName("a\\b"), "a\\\\b");
  EXPECT_EQ(ShowName("a\nb\x7F"), "a\\x0Ab\\x7F");
  EXPECT_EQ(ShowName(std::string("a\0b", 3)), "a\\x00b");
  // Overlong forms, surrogates, code points beyond U+10FFFF, a cut sequence, a stray
  // continuation byte: not UTF-8.
  EXPECT_EQ(ShowName("\xC0\x80"), "\\xC0\\x80");
  EXPECT_EQ(ShowName("\xE0\x80\xAF"), "\\xE0\\x80\\xAF");
  EXPECT_EQ(ShowName("\xED\xA0\x80"), "\\xED\\xA0\\x80");
  EXPECT_EQ(ShowName("\xF4\x90\x80\x80"), "\\xF4\\x90\\x80\\x80");
  EXPECT_EQ(ShowName("x\xE2\x82"), "x\\xE2\\x82");
  EXPECT_EQ(ShowName("\x80z"), "\\x80z");
  EXPECT_EQ(ShowName("\xE2\x82\xAC\xE2"), "\xE2\x82\xAC\\xE2");  // the euro, then a cut one
}

TEST(NameText, ReadingUndoesTheEscapesAndKeepsAnyOtherBackslash) {
  EXPECT_EQ(ReadName("caf\\xE9"), "caf\xE9");
  EXPECT_EQ(ReadName("caf\\xe9"), "caf\xE9");
  EXPECT_EQ(ReadName("a\\\\b"), "a\\b");
  EXPECT_EQ(ReadName("a\\b"), "a\\b");  // typed with one backslash
  EXPECT_EQ(ReadName("\\x4"), "\\x4");
  EXPECT_EQ(ReadName("\\xG1"), "\\xG1");
  EXPECT_EQ(ReadName("end\\"), "end\\");
  EXPECT_EQ(ReadName("\\\\xE9"), "\\xE9");  // an escaped backslash before "xE9"
}

TEST(NameText, EveryNameOfTwoBytesHasItsOwnTextAndComesBackFromIt) {
  std::set<std::string> texts;
  for (int first = 0; first < 256; ++first) {
    for (int second = 0; second < 256; ++second) {
      const std::string name{static_cast<char>(first), static_cast<char>(second)};
      const std::string shown = ShowName(name);
      ASSERT_EQ(ReadName(shown), name) << shown;
      texts.insert(shown);
    }
  }
  EXPECT_EQ(texts.size(), 65536u);
}

}  // namespace
}  // namespace zq
