// TAccountModel: the "Accounts" list as a table model with the columns "Name", "Privileges",
// "WX", "WY", "IP" and "Ping". Main thread only.
#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "gui/AccountList.h"

namespace zq {

class TAccountModel : public QAbstractTableModel {
 public:
  using QAbstractTableModel::QAbstractTableModel;

  // Replaces the rows; does nothing when they are the same (a view keeps its selection).
  void SetRows(std::vector<TAccountRow> rows);
  const std::vector<TAccountRow>& Rows() const { return rows_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  std::vector<TAccountRow> rows_;
};

}  // namespace zq
