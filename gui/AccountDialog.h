// TAccountDialog: "Add" and "Modify" of the Accounts tab: the name, the password twice and the
// privileges. For Modify the name is fixed and empty passwords keep the account's password.
// Names are shown and read as ShowName and ReadName write them.
// It closes on OK only when what was entered can be saved, and says what is wrong otherwise.
// The password fields never echo. Main thread only.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <optional>
#include <string>

#include "accounts/AccountStore.h"

namespace zq {

struct TAccountEntry {
  std::string Name;
  std::string Password;  // empty: keep the account's (Modify)
  TPrivileges Privileges = TPrivileges::Player;
};

class TAccountDialog : public QDialog {
 public:
  // Add when `name` is empty; otherwise Modify of that account.
  TAccountDialog(QWidget* parent, const std::string& name = {},
                 TPrivileges privileges = TPrivileges::Player);

  bool Modifies() const { return modify_; }
  // What was entered, or nothing (with the reason in Problem()).
  std::optional<TAccountEntry> Entry();
  const std::string& Problem() const { return problem_; }
  // Empties the password fields.
  void ForgetPasswords();

  void accept() override;

 private:
  bool modify_;
  std::string modified_;  // Modify: the account's name as stored
  std::string problem_;
  QFormLayout layout_;
  QLineEdit name_;
  QLineEdit password_;
  QLineEdit again_;
  QComboBox privileges_;
  QLabel error_;
  QDialogButtonBox buttons_{QDialogButtonBox::Ok | QDialogButtonBox::Cancel};
};

}  // namespace zq
