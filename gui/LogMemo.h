// TLogMemo: the read-only status log view (Memo1) with a vertical scroll bar. It never holds
// more than 100 lines: a line that makes 101 trims the oldest until 99 remain. Main thread
// only.
#pragma once

#include <QPlainTextEdit>
#include <string>

#include "server/LogView.h"

namespace zq {

class TLogMemo : public QPlainTextEdit {
 public:
  explicit TLogMemo(QWidget* parent = nullptr);

  void AppendToView(const std::string& line);
  // The lines shown, oldest first.
  const std::deque<std::string>& Lines() const { return lines_.Lines(); }

 private:
  TLogView lines_;
};

}  // namespace zq
