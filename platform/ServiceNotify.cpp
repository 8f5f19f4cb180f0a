#include "platform/ServiceNotify.h"

#include <systemd/sd-daemon.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/Console.h"

namespace zq {

TServiceNotifier::TServiceNotifier() {
  const char* socket = std::getenv("NOTIFY_SOCKET");
  enabled_ = socket != nullptr && *socket != '\0';
  uint64_t usec = 0;
  if (enabled_ && sd_watchdog_enabled(0, &usec) > 0) watchdogUsec_ = usec;
}

void TServiceNotifier::Ready() {
  Send("READY=1");
}

void TServiceNotifier::Reloading() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t usec =
      static_cast<uint64_t>(now.tv_sec) * 1000000 + static_cast<uint64_t>(now.tv_nsec) / 1000;
  Send("RELOADING=1\nMONOTONIC_USEC=" + std::to_string(usec));
}

void TServiceNotifier::Stopping() {
  Send("STOPPING=1");
}

void TServiceNotifier::Status(const std::string& text) {
  std::string line = text;
  for (char& c : line)
    if (c == '\n' || c == '\r') c = ' ';
  if (line == lastStatus_) return;
  lastStatus_ = line;
  Send("STATUS=" + line);
}

void TServiceNotifier::Watchdog() {
  if (watchdogUsec_ != 0) Send("WATCHDOG=1");
}

void TServiceNotifier::Send(const std::string& state) {
  if (!enabled_) return;
  const int rc = sd_notify(0, state.c_str());
  if (rc < 0)
    ConsoleDiagnostic("notify", "Cannot notify the service manager: " + std::string(strerror(-rc)));
}

}  // namespace zq
