// TMainSrvForm: the operator's main window "zq Server <version>" with the tabs "Status", "Setup",
// "Messages", "Accounts" and "Map". It is the view of the server it is given: "&Start Server"
// starts it (through the application that runs the window) with the Setup fields, the Status
// tab shows the status lines and the log view, "&Max. Clients: " changes the maximum, "Pause
// Server" stops admitting new clients, "Accounts" lists the accounts and the players in the
// game and adds, changes, deletes and bans them, "Map" shows the players on the world map,
// and closing the window (or "Stop/Shutdown") shuts the server down. Main thread only.
#pragma once

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "gui/AccountDialog.h"
#include "gui/AccountList.h"
#include "gui/AccountModel.h"
#include "gui/DirectoryListBox.h"
#include "gui/IregExForm.h"
#include "gui/LogMemo.h"
#include "gui/MapView.h"
#include "server/ServerSettings.h"
#include "server/ServerView.h"
#include "server/ZQOSrv.h"

namespace zq {

// What the window asks of the application that runs it.
struct TWindowActions {
  // Starts the server; raises what failed (EStopRequested when the window is closing).
  std::function<void(const TServerSettings& settings)> Start;
  // Shuts the server down; false while a start runs, which ends at its next step and closes
  // the window again then.
  std::function<bool()> Stop;
};

class TMainSrvForm : public QWidget, public IServerView {
 public:
  // The fields show `settings`; an empty GameDirectory means the current directory. Choosing
  // the directory makes it the current directory; raises EInOutError naming it when it
  // cannot be used.
  TMainSrvForm(const TServerSettings& settings, TZQOServer& server, TWindowActions actions);
  ~TMainSrvForm() override;
  TMainSrvForm(const TMainSrvForm&) = delete;
  TMainSrvForm& operator=(const TMainSrvForm&) = delete;

  // "&Start Server": the start sequence with the fields' settings. An error is reported with
  // its text through ReportError, and the controls are as before the press, so that the
  // operator may correct the fields (or free the port) and press again.
  void StartServerClick();
  // "Pause Server" / "Resume Server".
  void PauseButtonClick();
  // "Add" and "Modify": the account dialog, saved once it is accepted (hashed and written
  // off the main thread); the list is refreshed then.
  void AddButtonClick();
  void ModifyButtonClick();
  // "Delete": after a confirmation, removes the selected account (kicking it if it is in the
  // game), or closes the connection of a selected player without an account.
  void DeleteButtonClick();
  // "Ban": asks for how long, then bans the selected name as a name, whatever it reads as
  // (kicking it if it is in the game).
  void BanButtonClick();
  // The open account dialog, if any.
  TAccountDialog* AccountDialog() { return accountDialog_.get(); }
  // Rebuilds the "Accounts" list (the heartbeat-cycle timer calls it too).
  void RefreshAccounts();
  // Shows the players on the "Map" tab (the heartbeat-cycle timer calls it too).
  void RefreshMap();

  // Shows an error text to the operator; a message box unless replaced (tests do).
  std::function<void(const std::string& text)> ReportError;
  // Asks the operator a yes-or-no question; a message box unless replaced (tests do).
  std::function<bool(const std::string& question)> Confirm;
  // Asks the operator for a line of text; nothing when cancelled. A dialog unless replaced.
  std::function<std::optional<std::string>(const std::string& prompt)> AskText;

  TZQOServer& Server() { return server_; }
  TIregExForm& IregExForm() { return *iregExForm_; }
  TLogMemo& LogMemo() { return logMemo_; }
  TMapView& MapView() { return mapView_; }
  TAccountModel& Accounts() { return accountModel_; }
  QTabWidget& Tabs() { return tabs_; }

  // IServerView.
  void ServerStarting() override;
  void ShowStatusTab() override;
  void ProcessPendingEvents() override;
  void AppendToView(const std::string& line) override;
  void ShowIdentity(const std::string& identity) override;
  void ShowStatus(const std::string& connected, const std::string& peak) override;
  IExtractProgress& ShowExtractionProgress(const std::string& gameDirectory,
                                           const std::string& dataDirectory) override;
  void HideExtractionProgress() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildStatusPage();
  void BuildSetupPage();
  void BuildMessagesPage();
  void BuildAccountsPage();
  void BuildMapPage();
  TServerSettings FieldSettings() const;
  // The controls after a start that failed: as before it.
  void StartFailed();
  // The selected row of the Accounts list, if any.
  const TAccountRow* SelectedRow() const;
  void OpenAccountDialog(const std::string& name, TPrivileges privileges);
  void SaveAccountEntry();
  // Shows `error` unless it is empty, and refreshes the list.
  void AccountDone(const std::string& error);

  TServerSettings settings_;  // as given; the fields override what they show
  TZQOServer& server_;
  TWindowActions actions_;

  // Parents are declared before their children: members are destroyed in reverse order.
  QVBoxLayout rootLayout_;
  QTabWidget tabs_;
  QWidget statusPage_;
  QWidget setupPage_;
  QWidget messagesPage_;
  QWidget accountsPage_;
  QGridLayout statusLayout_;
  QGridLayout setupLayout_;
  QGridLayout messagesLayout_;
  QGridLayout accountsLayout_;

  // Status.
  QLabel connectedLabel_;
  QLabel peakLabel_;
  TLogMemo logMemo_;

  // Setup.
  QLabel directoryLabel_;
  QComboBox driveCombo_;
  TDirectoryListBox directoryList_;
  QLabel identityLabel_;
  QLineEdit identityEdit_;
  QLabel serverNameLabel_;
  QLineEdit serverNameEdit_;
  QLabel tcpPortLabel_;
  QLineEdit tcpPortEdit_;
  QLabel udpPortLabel_;
  QLineEdit baseUdpPortEdit_;
  QLabel maxClientsLabel_;
  QSpinBox maxClientsSpin_;
  QLabel spawnLabel_;
  QSpinBox spawnXSpin_;
  QSpinBox spawnYSpin_;
  QPushButton startButton_;
  QPushButton pauseButton_;
  QPushButton stopButton_;

  // Messages.
  QLineEdit messageEdit1_;
  QPushButton makeCurrent1_;
  QLineEdit messageEdit2_;
  QPushButton makeCurrent2_;

  // Accounts.
  TAccountModel accountModel_;
  QTreeView accountsView_;
  QPushButton addButton_;
  QPushButton deleteButton_;
  QPushButton modifyButton_;
  QPushButton banButton_;
  QTimer accountsTimer_;
  std::unique_ptr<TAccountDialog> accountDialog_;

  // Map.
  QWidget mapPage_;
  QGridLayout mapLayout_;
  QLabel zoomLabel_;
  QComboBox zoomCombo_;
  TMapView mapView_;

  std::unique_ptr<TIregExForm> iregExForm_;
};

}  // namespace zq
