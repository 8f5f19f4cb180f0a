// TDirectoryListBox: the directory list of the "Setup" tab. It shows the chosen directory's
// ancestors, the directory itself and its subdirectories, one level indented per step;
// activating an entry (double click or Enter) chooses it. Choosing a directory also makes it
// the process's current directory. Main thread only.
#pragma once

#include <QListWidget>
#include <functional>
#include <string>

namespace zq {

// Most subdirectories listed (the rest are left out, so a huge directory stays cheap).
constexpr int DIRECTORY_LIST_MAX_ENTRIES = 2000;

class TDirectoryListBox : public QListWidget {
 public:
  explicit TDirectoryListBox(QWidget* parent = nullptr);

  // Chooses `path` (made absolute and normal) and makes it the current directory. Raises
  // EInOutError naming the path when it is no directory or cannot be made current; the
  // previous choice then stays.
  void SetDirectory(const std::string& path);
  // The chosen directory, absolute, without a trailing separator (except the root "/").
  const std::string& Directory() const { return directory_; }
  // Called after each change of the chosen directory.
  std::function<void(const std::string&)> OnChange;

 private:
  void Fill();
  void Activate(QListWidgetItem* item);

  std::string directory_;
};

}  // namespace zq
