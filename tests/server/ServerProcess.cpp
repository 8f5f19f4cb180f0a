#include "tests/server/ServerProcess.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <thread>

#include "tests/support/TempDir.h"

namespace zq::test {

TServerProcess::TServerProcess(const std::string& dir, std::vector<std::string> args,
                               std::vector<std::string> environment, const rlimit* descriptors,
                               int output)
    : dir_(dir) {
  args.insert(args.begin(), ZQOSRV_BINARY);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  // A service manager the tests themselves run under is not the program's.
  for (char** e = environ; *e; ++e) {
    const std::string_view name(*e, std::strcspn(*e, "="));
    if (name != "NOTIFY_SOCKET" && name != "WATCHDOG_USEC" && name != "WATCHDOG_PID" &&
        name != "JOURNAL_STREAM")
      envp.push_back(*e);
  }
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  // The signals a server watches are blocked from the fork on (the program starts with
  // them blocked, as it blocks them itself first thing): a signal sent at once must wait
  // for the program, not end the child before it runs.
  sigset_t watched, old;
  sigemptyset(&watched);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&watched, s);
  ::pthread_sigmask(SIG_BLOCK, &watched, &old);
  pid_ = ::fork();
  if (pid_ != 0) ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
  if (pid_ == 0) {
    // A child whose output would go elsewhere than the test reads stops at once.
    if (output >= 0) {
      ::dup2(output, STDOUT_FILENO);
      ::dup2(output, STDERR_FILENO);
    } else if (!std::freopen((dir + "/stdout").c_str(), "w", stdout) ||
               !std::freopen((dir + "/stderr").c_str(), "w", stderr)) {
      ::_exit(125);
    }
    if (descriptors && ::setrlimit(RLIMIT_NOFILE, descriptors) != 0) ::_exit(126);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
}

TServerProcess::~TServerProcess() {
  if (pid_ > 0 && !exited_) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
}

void TServerProcess::Signal(int number) {
  ::kill(pid_, number);
}

int TServerProcess::Wait(int timeoutMs) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int status = 0;
  while (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > until) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  exited_ = true;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool TServerProcess::Running() {
  return ::waitpid(pid_, nullptr, WNOHANG) == 0;
}

std::string TServerProcess::Stdout() const {
  return ReadFile(dir_ + "/stdout");
}

std::string TServerProcess::Stderr() const {
  return ReadFile(dir_ + "/stderr");
}

int OpenDescriptors(pid_t pid) {
  std::error_code error;
  int n = 0;
  for (std::filesystem::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", error), end;
       !error && it != end; it.increment(error))
    ++n;
  return error ? -1 : n;
}

int CountOf(const std::string& text, const std::string& piece) {
  int n = 0;
  for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
    ++n;
  return n;
}

bool WaitForCount(const std::string& path, const std::string& text, int count, int timeoutMs) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (CountOf(ReadFile(path), text) < count) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

bool WaitForText(const std::string& path, const std::string& text, int timeoutMs) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (ReadFile(path).find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

uint16_t ListeningPortIn(const std::string& text) {
  const std::string marker = "Server is TCP listening on ";
  const auto at = text.find(marker);
  if (at == std::string::npos) return 0;
  return static_cast<uint16_t>(std::atoi(text.c_str() + at + marker.size()));
}

std::pair<int, std::string> RunToEnd(const std::string& dir, std::vector<std::string> args) {
  TServerProcess p(dir, std::move(args));
  const int status = p.Wait();
  return {status, p.Stderr()};
}

}  // namespace zq::test
