#include "platform/qt/SignalWatcher.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

#include "platform/Errors.h"
#include "platform/qt/EventGuard.h"

namespace zq {
namespace {

constexpr int WATCHED[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int WATCHED_COUNT = sizeof WATCHED / sizeof WATCHED[0];
std::atomic<int> g_writeFd{-1};
struct sigaction g_previous[WATCHED_COUNT];

void OnSignal(int number) {
  int saved = errno;
  int fd = g_writeFd.load();
  if (fd >= 0) {
    char byte = static_cast<char>(number);
    // Non-blocking: a flood of signals loses bytes instead of blocking the handler.
    [[maybe_unused]] auto n = ::write(fd, &byte, 1);
  }
  errno = saved;
}

sigset_t WatchedSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : WATCHED) sigaddset(&set, signal);
  return set;
}

}  // namespace

void TSignalWatcher::HoldSignals() {
  sigset_t set = WatchedSet();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

TSignalWatcher::TSignalWatcher(SignalEvent onSignal) : onSignal_(std::move(onSignal)) {
  if (g_writeFd.load() >= 0) InternalCheckFailed("Second signal watcher", "SignalWatcher");
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds_) != 0)
    InternalCheckFailed("socketpair failed for the signal watcher", "SignalWatcher");
  notifier_ = std::make_unique<QSocketNotifier>(fds_[0], QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &TSignalWatcher::Drain);
  g_writeFd.store(fds_[1]);
  for (int i = 0; i < WATCHED_COUNT; ++i) {
    struct sigaction action {};
    action.sa_handler = &OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(WATCHED[i], &action, &g_previous[i]);
  }
  sigset_t set = WatchedSet();  // held ones are delivered now, to the handler above
  ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

TSignalWatcher::~TSignalWatcher() {
  for (int i = 0; i < WATCHED_COUNT; ++i) ::sigaction(WATCHED[i], &g_previous[i], nullptr);
  g_writeFd.store(-1);
  notifier_.reset();
  ::close(fds_[0]);
  ::close(fds_[1]);
}

void TSignalWatcher::Drain() {
  char bytes[64];
  ssize_t n = ::read(fds_[0], bytes, sizeof bytes);
  // Signals beyond one read stay in the pipe and wake the notifier again.
  for (ssize_t i = 0; i < n; ++i) {
    int number = static_cast<unsigned char>(bytes[i]);
    if (onSignal_) RunGuarded("signal", [&] { onSignal_(number); });
  }
}

}  // namespace zq
