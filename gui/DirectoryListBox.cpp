#include "gui/DirectoryListBox.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "platform/Errors.h"

namespace zq {
namespace fs = std::filesystem;

namespace {

constexpr int PATH_ROLE = Qt::UserRole;

QString Indent(int level) {
  return QString(level * 2, QLatin1Char(' '));
}

}  // namespace

TDirectoryListBox::TDirectoryListBox(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  connect(this, &QListWidget::itemActivated, this,
          [this](QListWidgetItem* item) { Activate(item); });
}

void TDirectoryListBox::SetDirectory(const std::string& path) {
  std::error_code ec;
  fs::path chosen = fs::absolute(path, ec);
  if (ec) throw EInOutError("Cannot use directory " + path + ": " + ec.message());
  chosen = chosen.lexically_normal();
  if (chosen.has_relative_path() && !chosen.has_filename()) chosen = chosen.parent_path();
  if (!fs::is_directory(chosen, ec))
    throw EInOutError("Cannot use directory " + chosen.string() + ": not a directory");
  fs::current_path(chosen, ec);
  if (ec) throw EInOutError("Cannot use directory " + chosen.string() + ": " + ec.message());
  directory_ = chosen.string();
  Fill();
  if (OnChange) OnChange(directory_);
}

void TDirectoryListBox::Fill() {
  clear();
  fs::path current(directory_);
  std::vector<fs::path> chain;
  for (fs::path p = current;; p = p.parent_path()) {
    chain.push_back(p);
    if (p == p.parent_path() || chain.size() > 256) break;
  }
  std::reverse(chain.begin(), chain.end());
  int level = 0;
  for (const fs::path& p : chain) {
    QString name = QString::fromStdString(p.has_filename() ? p.filename().string() : p.string());
    addItem(Indent(level) + name);
    item(count() - 1)->setData(PATH_ROLE, QString::fromStdString(p.string()));
    ++level;
  }
  setCurrentRow(count() - 1);

  std::vector<std::string> subdirectories;
  std::error_code ec;
  for (fs::directory_iterator it(current, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (it->is_directory(typeError)) subdirectories.push_back(it->path().filename().string());
    if (subdirectories.size() >= static_cast<std::size_t>(DIRECTORY_LIST_MAX_ENTRIES)) break;
  }
  std::sort(subdirectories.begin(), subdirectories.end());
  for (const std::string& name : subdirectories) {
    addItem(Indent(level) + QString::fromStdString(name));
    item(count() - 1)->setData(PATH_ROLE, QString::fromStdString((current / name).string()));
  }
}

void TDirectoryListBox::Activate(QListWidgetItem* item) {
  if (!item) return;
  std::string path = item->data(PATH_ROLE).toString().toStdString();
  if (path.empty() || path == directory_) return;
  try {
    SetDirectory(path);
  } catch (const EInOutError&) {
    Fill();  // gone or not accessible: keep the previous choice, list it afresh
  }
}

}  // namespace zq
