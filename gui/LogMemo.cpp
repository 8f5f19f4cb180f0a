#include "gui/LogMemo.h"

#include <QTextBlock>
#include <QTextCursor>

namespace zq {

TLogMemo::TLogMemo(QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setMaximumBlockCount(0);  // the trimming below is the only limit
}

void TLogMemo::AppendToView(const std::string& line) {
  std::size_t removed = lines_.AppendToView(line);
  appendPlainText(QString::fromStdString(line));
  if (removed == 0) return;
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::Start);
  cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, static_cast<int>(removed));
  cursor.removeSelectedText();
}

}  // namespace zq
