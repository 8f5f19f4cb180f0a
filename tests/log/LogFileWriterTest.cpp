// TLogFileWriter: the file in the current directory, appending, line shape, CR LF, the
// callback's text, failures that raise EInOutError naming the path, the new file's mode and
// a process out of descriptors.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "log/LogFileWriter.h"
#include "platform/Errors.h"
#include "tests/support/DescriptorLimit.h"
#include "tests/support/TempDir.h"

namespace zq {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

// Each test runs inside a fresh current directory.
class LogFileWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = fs::current_path();
    fs::current_path(dir.Path());
  }
  void TearDown() override { fs::current_path(saved_); }

  test::TempDir dir;

 private:
  fs::path saved_;
};

TEST_F(LogFileWriterTest, MissingFileIsCreatedEmptyAtConstruction) {
  TLogFileWriter log("ZQOSRV.LOG");
  EXPECT_EQ(log.LogPath(), (fs::current_path() / "ZQOSRV.LOG").string());
  ASSERT_TRUE(fs::exists(dir / "ZQOSRV.LOG"));
  EXPECT_EQ(fs::file_size(dir / "ZQOSRV.LOG"), 0u);
}

// The log names players and their addresses: under the usual umask it is not made
// readable for everybody, neither at the start nor when a line finds it gone (rotated).
TEST_F(LogFileWriterTest, TheFileIsCreatedForItsOwnerAndGroupOnly) {
  const mode_t umaskBefore = ::umask(022);
  TLogFileWriter log("ZQOSRV.LOG");
  const auto mode = [&] {
    struct stat st {};
    return ::stat((dir / "ZQOSRV.LOG").c_str(), &st) == 0 ? st.st_mode & 0777 : 0u;
  };
  EXPECT_EQ(mode(), 0640u);
  fs::remove(dir / "ZQOSRV.LOG");
  log.WriteLine("after the rotation");
  EXPECT_EQ(mode(), 0640u);
  ::umask(umaskBefore);
}

// Every descriptor of the process is taken (by connections, say): the line is written all
// the same, with the descriptor the writer holds back, and so is the next one.
TEST_F(LogFileWriterTest, AProcessOutOfDescriptorsStillLogs) {
  TLogFileWriter log("ZQOSRV.LOG");
  {
    test::TDescriptorsTaken taken;
    ASSERT_TRUE(taken.AtLimit());
    ASSERT_LT(::open("/dev/null", O_RDONLY), 0) << "no descriptor is free";
    log.WriteLine("first at the limit");
    log.WriteLine("second at the limit");
  }
  const std::string text = ReadFile(dir / "ZQOSRV.LOG");
  EXPECT_NE(text.find(" first at the limit\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find(" second at the limit\r\n"), std::string::npos) << text;
}

TEST_F(LogFileWriterTest, ExistingFileIsKeptAndAppendedTo) {
  const std::string old = "01/02/03 04:05:06 Server started.\r\n";
  WriteFile(dir / "ZQOSRV.LOG", old);
  TLogFileWriter log("ZQOSRV.LOG");
  EXPECT_EQ(ReadFile(dir / "ZQOSRV.LOG"), old) << "construction never truncates";
  std::string line;
  log.SetCallback([&](const std::string& l) { line = l; });
  log.WriteLine("Server shutdown.");
  EXPECT_EQ(ReadFile(dir / "ZQOSRV.LOG"), old + line + "\r\n");
}

TEST_F(LogFileWriterTest, CallbackGetsExactlyEachFileLineWithoutLineEnd) {
  TLogFileWriter log("ZQOSRV.LOG");
  log.WriteLine("before callback");
  std::vector<std::string> lines;
  log.SetCallback([&](const std::string& l) { lines.push_back(l); });
  const std::string odd = "50% \"quoted\" %s %d \\ here";
  log.WriteLine("Connected from 127.0.0.1:40000");
  log.WriteLine(odd);
  log.WriteLine("");
  ASSERT_EQ(lines.size(), 3u);
  std::string file = ReadFile(dir / "ZQOSRV.LOG");
  std::string expectedTail = lines[0] + "\r\n" + lines[1] + "\r\n" + lines[2] + "\r\n";
  ASSERT_GE(file.size(), expectedTail.size());
  EXPECT_EQ(file.substr(file.size() - expectedTail.size()), expectedTail);
  EXPECT_EQ(file.find('\n'), file.find("\r\n") + 1) << "every line ends with CR LF";

  // "<date> <time> <message>": the message is written unchanged after the stamp.
  for (const auto& l : lines) EXPECT_EQ(l.find('\r'), std::string::npos);
  const std::string& first = lines[0];
  std::size_t stamp = first.size() - std::string("Connected from 127.0.0.1:40000").size();
  EXPECT_EQ(first.substr(stamp), "Connected from 127.0.0.1:40000");
  EXPECT_EQ(first[stamp - 1], ' ');
  EXPECT_EQ(lines[1].substr(lines[1].size() - odd.size()), odd);
  std::string prefix = first.substr(0, stamp);
  EXPECT_EQ(std::count(prefix.begin(), prefix.end(), ':'), 2) << "hours, minutes, seconds";
  EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(prefix[0]))) << "numeric date first";
  // An empty message leaves the line ending with the space after the time.
  EXPECT_EQ(lines[2].back(), ' ');
  EXPECT_EQ(lines[2].size(), prefix.size());
}

// log_dates = iso: the same line with a date no locale reads two ways.
TEST_F(LogFileWriterTest, IsoDatesAreYearMonthDayAndTheTwentyFourHourClock) {
  TLogFileWriter log("ZQOSRV.LOG");
  log.SetDates(TLogDates::Iso);
  log.WriteLine("Server shutdown.");
  EXPECT_TRUE(std::regex_match(ReadFile(dir / "ZQOSRV.LOG"),
                               std::regex("20[0-9]{2}-(0[1-9]|1[0-2])-[0-3][0-9] "
                                          "([01][0-9]|2[0-3]):[0-5][0-9]:[0-6][0-9] "
                                          "Server shutdown\\.\r\n")))
      << ReadFile(dir / "ZQOSRV.LOG");
}

TEST_F(LogFileWriterTest, UncreatableFileRaisesNamingThePath) {
  try {
    TLogFileWriter log("missing-dir/ZQOSRV.LOG");
    FAIL() << "construction must fail";
  } catch (const EInOutError& e) {
    EXPECT_NE(std::string(e.what()).find(dir / "missing-dir/ZQOSRV.LOG"), std::string::npos)
        << e.what();
  }
  if (::geteuid() != 0) {  // permissions do not bind root
    fs::create_directory(dir / "ro");
    fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_THROW(TLogFileWriter("ro/ZQOSRV.LOG"), EInOutError);
  }
}

TEST_F(LogFileWriterTest, FailedAppendRaisesAndSkipsTheCallback) {
  TLogFileWriter log("ZQOSRV.LOG");
  int calls = 0;
  log.SetCallback([&](const std::string&) { ++calls; });
  // The log file's place is taken by a directory: opening it for appending fails.
  fs::remove(dir / "ZQOSRV.LOG");
  fs::create_directory(dir / "ZQOSRV.LOG");
  try {
    log.WriteLine("lost");
    FAIL() << "append must fail";
  } catch (const EInOutError& e) {
    EXPECT_NE(std::string(e.what()).find(log.LogPath()), std::string::npos) << e.what();
  }
  EXPECT_EQ(calls, 0);
  // Gone directory: the same.
  fs::remove(dir / "ZQOSRV.LOG");
  fs::create_directory(dir / "sub");
  fs::current_path(dir / "sub");
  TLogFileWriter inner("ZQOSRV.LOG");
  inner.SetCallback([&](const std::string&) { ++calls; });
  fs::current_path(dir.Path());
  fs::remove_all(dir / "sub");
  EXPECT_THROW(inner.WriteLine("lost"), EInOutError);
  EXPECT_EQ(calls, 0);
}

TEST_F(LogFileWriterTest, ControlCharactersAreEscapedOtherBytesKept) {
  TLogFileWriter log("ZQOSRV.LOG");
  std::string shown;
  log.SetCallback([&](const std::string& line) { shown = line; });
  log.WriteLine("SGM: Added player x\r\n1/1/2027 1:00:00 Server shutdown.\x1b[2J\x7f h\xC3\xA9");
  const std::string content = test::ReadFile(dir / "ZQOSRV.LOG");
  ASSERT_EQ(std::count(content.begin(), content.end(), '\n'), 1) << "one event, one line";
  const std::string expected =
      "SGM: Added player x\\x0D\\x0A1/1/2027 1:00:00 Server shutdown.\\x1B[2J\\x7F h\xC3\xA9";
  EXPECT_NE(content.find(expected + "\r\n"), std::string::npos) << content;
  EXPECT_EQ(shown.substr(shown.size() - expected.size()), expected) << "the view shows the same";
}

}  // namespace
}  // namespace zq
