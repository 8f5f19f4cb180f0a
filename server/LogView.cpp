#include "server/LogView.h"

namespace zq {

std::size_t TLogView::AppendToView(const std::string& line) {
  lines_.push_back(line);
  std::size_t removed = 0;
  if (lines_.size() > LOG_VIEW_MAX_LINES) {
    while (lines_.size() >= LOG_VIEW_MAX_LINES) {
      lines_.pop_front();
      ++removed;
    }
  }
  return removed;
}

}  // namespace zq
