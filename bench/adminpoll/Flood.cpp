#include "bench/adminpoll/Flood.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <unordered_map>

namespace zq::bench {
namespace {

using TClock = std::chrono::steady_clock;

constexpr int MAX_OPEN = 4000;  // connections of the flood open at once, at most

struct TOpen {
  std::string Received;
  bool Written = false;
};

}  // namespace

TFloodTally RunFlood(const TFloodOptions& o) {
  TFloodTally tally;
  const int epfd = ::epoll_create1(EPOLL_CLOEXEC);
  std::unordered_map<int, TOpen> open;
  const std::string request =
      "GET " + o.Path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  auto finish = [&](int fd) {
    TOpen& c = open[fd];
    if (c.Received.compare(0, 9, "HTTP/1.1 ") == 0 && c.Received.size() >= 12) {
      const std::string status = c.Received.substr(9, 3);
      if (status == "401")
        ++tally.Unauthorized;
      else if (status == "429")
        ++tally.Blocked;
      else
        ++tally.Other;
    } else {
      ++tally.Closed;
    }
    ::epoll_ctl(epfd, EPOLL_CTL_DEL, fd, nullptr);
    ::close(fd);
    open.erase(fd);
  };
  auto connectOne = [&](uint64_t n) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      ++tally.ConnectFailed;
      return;
    }
    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_addr.s_addr = htonl(INADDR_LOOPBACK + static_cast<uint32_t>(n % o.Sources));
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(o.Port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
        (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 && errno != EINPROGRESS)) {
      ::close(fd);
      ++tally.ConnectFailed;
      return;
    }
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP;
    ev.data.fd = fd;
    ::epoll_ctl(epfd, EPOLL_CTL_ADD, fd, &ev);
    open.emplace(fd, TOpen{});
    ++tally.Sent;
  };

  const auto start = TClock::now();
  const auto end = start + std::chrono::duration_cast<TClock::duration>(
                               std::chrono::duration<double>(o.Seconds));
  const auto last = end + std::chrono::seconds(5);
  const uint64_t total = static_cast<uint64_t>(o.Rate * o.Seconds);
  epoll_event events[256];
  for (auto now = start; now < last && (now < end || !open.empty()); now = TClock::now()) {
    // The requests due by now.
    const double elapsed = std::chrono::duration<double>(now - start).count();
    const uint64_t due = std::min<uint64_t>(total, static_cast<uint64_t>(elapsed * o.Rate));
    while (tally.Sent + tally.ConnectFailed < due && open.size() < MAX_OPEN)
      connectOne(tally.Sent + tally.ConnectFailed);
    const int n = ::epoll_wait(epfd, events, 256, 1);
    for (int i = 0; i < n; ++i) {
      const int fd = events[i].data.fd;
      auto it = open.find(fd);
      if (it == open.end()) continue;
      TOpen& c = it->second;
      if ((events[i].events & EPOLLOUT) && !c.Written) {
        c.Written = ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) > 0;
        epoll_event ev{};
        ev.events = EPOLLIN | EPOLLRDHUP;
        ev.data.fd = fd;
        ::epoll_ctl(epfd, EPOLL_CTL_MOD, fd, &ev);
      }
      if (events[i].events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) {
        char buffer[4096];
        ssize_t got;
        while ((got = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
          c.Received.append(buffer, static_cast<std::size_t>(got));
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) finish(fd);
      }
    }
  }
  tally.Unfinished = open.size();
  for (auto& [fd, c] : open) ::close(fd);
  ::close(epfd);
  return tally;
}

std::string FloodText(const TFloodTally& t) {
  return std::to_string(t.Sent) + " sent: " + std::to_string(t.Unauthorized) + " answered 401, " +
         std::to_string(t.Blocked) + " 429, " + std::to_string(t.Other) + " other, " +
         std::to_string(t.Closed) + " closed unanswered, " + std::to_string(t.Unfinished) +
         " unfinished, " + std::to_string(t.ConnectFailed) + " not connected";
}

}  // namespace zq::bench
