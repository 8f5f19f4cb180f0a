// JOURNAL_STREAM against a descriptor: the one pair that names it, and every other value
// (another inode, another device, malformed, none) that does not; the priority prefix.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/Journal.h"

namespace zq {
namespace {

class JournalStreamTest : public ::testing::Test {
 protected:
  JournalStreamTest() {
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds_), 0);  // two ends, two inodes
    struct stat st {};
    EXPECT_EQ(::fstat(fds_[1], &st), 0);
    device_ = std::to_string(st.st_dev);
    inode_ = std::to_string(st.st_ino);
  }
  ~JournalStreamTest() override {
    ::close(fds_[0]);
    ::close(fds_[1]);
  }
  int fds_[2] = {-1, -1};
  std::string device_, inode_;
};

TEST_F(JournalStreamTest, OnlyTheDescriptorsOwnPairNamesIt) {
  EXPECT_TRUE(IsJournalStream(fds_[1], (device_ + ":" + inode_).c_str()));
  EXPECT_FALSE(IsJournalStream(fds_[0], (device_ + ":" + inode_).c_str())) << "the other end";
  EXPECT_FALSE(IsJournalStream(fds_[1], (device_ + ":" + inode_ + "0").c_str()));
  EXPECT_FALSE(IsJournalStream(fds_[1], ("1" + device_ + ":" + inode_).c_str()));
  for (const std::string& bad :
       {std::string(), device_, device_ + ":", ":" + inode_, device_ + ":" + inode_ + " ",
        " " + device_ + ":" + inode_, device_ + ":+" + inode_, "-" + device_ + ":" + inode_,
        device_ + ":" + inode_ + ":1", "99999999999999999999999:" + inode_})
    EXPECT_FALSE(IsJournalStream(fds_[1], bad.c_str())) << "'" << bad << "'";
  EXPECT_FALSE(IsJournalStream(fds_[1], nullptr)) << "no JOURNAL_STREAM";
  EXPECT_FALSE(IsJournalStream(-1, (device_ + ":" + inode_).c_str())) << "a closed descriptor";
}

TEST(JournalLineTest, ThePriorityIsTheLevelsNumber) {
  EXPECT_EQ(JournalLine(TLogLevel::Error, "Start-up failed: x"), "<3>Start-up failed: x");
  EXPECT_EQ(JournalLine(TLogLevel::Warning, ""), "<4>");
  EXPECT_EQ(JournalLine(TLogLevel::Notice, "<6>x"), "<5><6>x") << "a message never sets its own";
  EXPECT_EQ(JournalLine(TLogLevel::Info, "a"), "<6>a");
  EXPECT_EQ(JournalLine(TLogLevel::Debug, "* ok"), "<7>* ok");
}

}  // namespace
}  // namespace zq
