// The zqosrv program as a child process, its standard output and error in files of a
// directory, for tests that run it as an operator or a service manager does.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace zq::test {

class TServerProcess {
 public:
  // Starts ZQOSRV_BINARY with `args` and the test's environment, without a service manager's
  // variables, plus `environment` ("NAME=value"); with `descriptors`, under that limit of
  // open files instead of the test's; with `output`, that descriptor as its standard output
  // and error instead of the directory's files.
  TServerProcess(const std::string& dir, std::vector<std::string> args,
                 std::vector<std::string> environment = {}, const rlimit* descriptors = nullptr,
                 int output = -1);
  ~TServerProcess();  // kills the process when it still runs
  TServerProcess(const TServerProcess&) = delete;
  TServerProcess& operator=(const TServerProcess&) = delete;

  void Signal(int number);
  // The exit status, or -1 when it has not ended within the time.
  int Wait(int timeoutMs = 60000);
  bool Running();
  pid_t Pid() const { return pid_; }
  std::string Stdout() const;
  std::string Stderr() const;

 private:
  std::string dir_;
  pid_t pid_ = -1;
  bool exited_ = false;
};

// The descriptors a running process has open (from /proc), or -1.
int OpenDescriptors(pid_t pid);

// Waits until the file holds `text` (bounded).
bool WaitForText(const std::string& path, const std::string& text, int timeoutMs = 60000);
// Waits until the file holds `text` at least `count` times (bounded).
bool WaitForCount(const std::string& path, const std::string& text, int count,
                  int timeoutMs = 60000);
int CountOf(const std::string& text, const std::string& piece);

// The port of "Server is TCP listening on N" in `text`, or 0.
uint16_t ListeningPortIn(const std::string& text);

// Runs the program to its end: exit status and standard error.
std::pair<int, std::string> RunToEnd(const std::string& dir, std::vector<std::string> args);

}  // namespace zq::test
