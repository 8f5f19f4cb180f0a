// The status view's lines: the last log lines, never more than 100 (the 101st line trims the
// view to 99). The window shows them; headless, they stay here.
#pragma once

#include <deque>
#include <string>

namespace zq {

constexpr std::size_t LOG_VIEW_MAX_LINES = 100;

class TLogView {
 public:
  // Adds the line; returns how many of the oldest lines were removed.
  std::size_t AppendToView(const std::string& line);
  const std::deque<std::string>& Lines() const { return lines_; }

 private:
  std::deque<std::string> lines_;
};

}  // namespace zq
