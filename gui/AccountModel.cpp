#include "gui/AccountModel.h"

#include <array>

namespace zq {

namespace {

constexpr std::array<const char*, 6> COLUMNS = {"Name", "Privileges", "WX", "WY", "IP", "Ping"};

const std::string& Cell(const TAccountRow& row, int column) {
  switch (column) {
    case 0:
      return row.Name;
    case 1:
      return row.Privileges;
    case 2:
      return row.WX;
    case 3:
      return row.WY;
    case 4:
      return row.IP;
    default:
      return row.Ping;
  }
}

}  // namespace

void TAccountModel::SetRows(std::vector<TAccountRow> rows) {
  if (rows == rows_) return;
  if (rows.size() == rows_.size()) {
    // Same players in the same places: update the cells only, so the selection stays.
    bool samePlayers = true;
    for (std::size_t i = 0; i < rows.size() && samePlayers; ++i)
      samePlayers = rows[i].GUID == rows_[i].GUID && rows[i].SocketID == rows_[i].SocketID &&
                    rows[i].Name == rows_[i].Name;
    if (samePlayers) {
      rows_ = std::move(rows);
      emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
      return;
    }
  }
  beginResetModel();
  rows_ = std::move(rows);
  endResetModel();
}

int TAccountModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TAccountModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(COLUMNS.size());
}

QVariant TAccountModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount() ||
      index.column() >= columnCount())
    return {};
  return QString::fromStdString(Cell(rows_[static_cast<std::size_t>(index.row())], index.column()));
}

QVariant TAccountModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
      section >= columnCount())
    return {};
  return QString::fromLatin1(COLUMNS[static_cast<std::size_t>(section)]);
}

}  // namespace zq
