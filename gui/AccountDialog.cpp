#include "gui/AccountDialog.h"

#include "accounts/NameText.h"

namespace zq {

TAccountDialog::TAccountDialog(QWidget* parent, const std::string& name, TPrivileges privileges)
    : QDialog(parent), modify_(!name.empty()), modified_(name) {
  setObjectName(QStringLiteral("AccountDialog"));
  setWindowTitle(modify_ ? QStringLiteral("Modify account") : QStringLiteral("Add account"));
  name_.setObjectName(QStringLiteral("AccountName"));
  password_.setObjectName(QStringLiteral("AccountPassword"));
  again_.setObjectName(QStringLiteral("AccountAgain"));
  privileges_.setObjectName(QStringLiteral("AccountPrivileges"));
  error_.setObjectName(QStringLiteral("AccountProblem"));
  name_.setText(QString::fromStdString(ShowName(name)));
  name_.setReadOnly(modify_);
  name_.setMaxLength(static_cast<int>(MAX_NAME_LENGTH));
  password_.setEchoMode(QLineEdit::Password);
  again_.setEchoMode(QLineEdit::Password);
  if (modify_) password_.setPlaceholderText(QStringLiteral("unchanged"));
  privileges_.addItem(QStringLiteral("Player"));
  privileges_.addItem(QStringLiteral("Admin"));
  privileges_.setCurrentIndex(privileges == TPrivileges::Admin ? 1 : 0);
  setLayout(&layout_);
  layout_.addRow(QStringLiteral("Name:"), &name_);
  layout_.addRow(QStringLiteral("Password:"), &password_);
  layout_.addRow(QStringLiteral("Again:"), &again_);
  layout_.addRow(QStringLiteral("Privileges:"), &privileges_);
  layout_.addRow(&error_);
  layout_.addRow(&buttons_);
  connect(&buttons_, &QDialogButtonBox::accepted, this, &TAccountDialog::accept);
  connect(&buttons_, &QDialogButtonBox::rejected, this, &TAccountDialog::reject);
}

std::optional<TAccountEntry> TAccountDialog::Entry() {
  TAccountEntry entry;
  // The account modified keeps its bytes; a new name is read as the lists show names.
  entry.Name = modify_ ? modified_ : ReadName(name_.text().toStdString());
  entry.Password = password_.text().toStdString();
  entry.Privileges = privileges_.currentIndex() == 1 ? TPrivileges::Admin : TPrivileges::Player;
  problem_.clear();
  if (std::string problem =
          modify_ ? AccountNameProblem(entry.Name) : NewAccountNameProblem(entry.Name);
      !problem.empty())
    problem_ = "Invalid name: " + problem + ".";
  else if (password_.text() != again_.text())
    problem_ = "The two passwords differ.";
  else if (!modify_ && entry.Password.empty())
    problem_ = NEW_ACCOUNT_NEEDS_PASSWORD;
  if (!problem_.empty()) return std::nullopt;
  return entry;
}

void TAccountDialog::ForgetPasswords() {
  password_.clear();
  again_.clear();
}

void TAccountDialog::accept() {
  if (!Entry()) {
    error_.setText(QString::fromStdString(problem_));
    return;
  }
  QDialog::accept();
}

}  // namespace zq
