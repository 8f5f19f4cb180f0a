#include "gui/MainSrvForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QHeaderView>
#include <QInputDialog>
#include <QMessageBox>
#include <climits>

#include "accounts/NameText.h"
#include "platform/Errors.h"
#include "platform/qt/EventGuard.h"

namespace zq {

namespace {

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

void Unbounded(QSpinBox& spin, int value) {
  spin.setRange(INT_MIN, INT_MAX);
  spin.setValue(value);
}

}  // namespace

TMainSrvForm::TMainSrvForm(const TServerSettings& settings, TZQOServer& server,
                           TWindowActions actions)
    : settings_(settings),
      server_(server),
      actions_(std::move(actions)),
      connectedLabel_(QStringLiteral("Connected: 0/0 Clients")),
      peakLabel_(QStringLiteral("Max Connected: 0")),
      directoryLabel_(QStringLiteral("Quorel &Directory")),
      identityLabel_(QStringLiteral("IDENTITY is: ")),
      identityEdit_(QStringLiteral("QUOREL7")),
      serverNameLabel_(QStringLiteral("Server name: ")),
      serverNameEdit_(Q(settings.ServerName)),
      tcpPortLabel_(QStringLiteral("TCP Port: ")),
      tcpPortEdit_(QString::number(settings.TcpPort)),
      udpPortLabel_(QStringLiteral("Base UDP Port:")),
      baseUdpPortEdit_(Q(settings.BaseUdpPortText)),
      maxClientsLabel_(QStringLiteral("&Max. Clients: ")),
      spawnLabel_(QStringLiteral("Spawn:")),
      startButton_(QStringLiteral("&Start Server")),
      pauseButton_(QStringLiteral("Pause Server")),
      stopButton_(QStringLiteral("Stop/Shutdown")),
      messageEdit1_(QStringLiteral("This field not yet used.")),
      makeCurrent1_(QStringLiteral("Make Current")),
      messageEdit2_(QStringLiteral("This field not yet used.")),
      makeCurrent2_(QStringLiteral("Make Current")),
      addButton_(QStringLiteral("Add")),
      deleteButton_(QStringLiteral("Delete")),
      modifyButton_(QStringLiteral("Modify")),
      banButton_(QStringLiteral("Ban")),
      zoomLabel_(QStringLiteral("Zoom:")),
      iregExForm_(std::make_unique<TIregExForm>()) {
  setObjectName(QStringLiteral("MainSrvForm"));
  setWindowTitle(QStringLiteral("zq Server ") + QString::fromLatin1(VersionString));
  resize(620, 440);
  ReportError = [this](const std::string& text) {
    QMessageBox::critical(this, windowTitle(), Q(text));
  };
  Confirm = [this](const std::string& question) {
    return QMessageBox::question(this, windowTitle(), Q(question)) == QMessageBox::Yes;
  };
  AskText = [this](const std::string& prompt) -> std::optional<std::string> {
    bool ok = false;
    QString text =
        QInputDialog::getText(this, windowTitle(), Q(prompt), QLineEdit::Normal, {}, &ok);
    if (!ok) return std::nullopt;
    return text.trimmed().toStdString();
  };

  setLayout(&rootLayout_);
  rootLayout_.addWidget(&tabs_);
  tabs_.addTab(&statusPage_, QStringLiteral("Status"));
  tabs_.addTab(&setupPage_, QStringLiteral("Setup"));
  tabs_.addTab(&messagesPage_, QStringLiteral("Messages"));
  tabs_.addTab(&accountsPage_, QStringLiteral("Accounts"));
  tabs_.addTab(&mapPage_, QStringLiteral("Map"));
  BuildStatusPage();
  BuildSetupPage();
  BuildMessagesPage();
  BuildAccountsPage();
  BuildMapPage();
  tabs_.setCurrentWidget(&setupPage_);

  Unbounded(maxClientsSpin_, settings.MaxClients);
  Unbounded(spawnXSpin_, settings.SpawnX);
  Unbounded(spawnYSpin_, settings.SpawnY);
  // Every change, also while typing, goes to the server (a 0 is ignored there).
  connect(&maxClientsSpin_, &QSpinBox::valueChanged, this,
          [this](int value) { server_.SetMaxClients(value); });

  for (const QFileInfo& drive : QDir::drives()) driveCombo_.addItem(drive.absolutePath());
  connect(&driveCombo_, &QComboBox::activated, this, [this](int index) {
    try {
      directoryList_.SetDirectory(driveCombo_.itemText(index).toStdString());
    } catch (const EInOutError& e) {
      ReportError(e.what());
    }
  });
  directoryList_.SetDirectory(settings.GameDirectory.empty() ? QDir::currentPath().toStdString()
                                                             : settings.GameDirectory);

  connect(&startButton_, &QPushButton::clicked, this, [this] { StartServerClick(); });
  connect(&pauseButton_, &QPushButton::clicked, this, [this] { PauseButtonClick(); });
  connect(&stopButton_, &QPushButton::clicked, this, [this] { close(); });
  connect(&addButton_, &QPushButton::clicked, this, &TMainSrvForm::AddButtonClick);
  connect(&modifyButton_, &QPushButton::clicked, this, &TMainSrvForm::ModifyButtonClick);
  connect(&deleteButton_, &QPushButton::clicked, this, &TMainSrvForm::DeleteButtonClick);
  connect(&banButton_, &QPushButton::clicked, this, &TMainSrvForm::BanButtonClick);
  connect(&accountsTimer_, &QTimer::timeout, this, [this] { RefreshAccounts(); });
  connect(&accountsTimer_, &QTimer::timeout, this, [this] { RefreshMap(); });
}

TMainSrvForm::~TMainSrvForm() {
  accountsTimer_.stop();
}

void TMainSrvForm::BuildStatusPage() {
  statusPage_.setLayout(&statusLayout_);
  connectedLabel_.setObjectName(QStringLiteral("ConnectedLabel"));
  peakLabel_.setObjectName(QStringLiteral("PeakLabel"));
  logMemo_.setObjectName(QStringLiteral("Memo1"));
  statusLayout_.addWidget(&connectedLabel_, 0, 0);
  statusLayout_.addWidget(&peakLabel_, 1, 0);
  statusLayout_.addWidget(&logMemo_, 2, 0);
  statusLayout_.setRowStretch(2, 1);
}

void TMainSrvForm::BuildSetupPage() {
  setupPage_.setLayout(&setupLayout_);
  directoryLabel_.setBuddy(&directoryList_);
  maxClientsLabel_.setBuddy(&maxClientsSpin_);
  identityLabel_.setBuddy(&identityEdit_);
  serverNameLabel_.setBuddy(&serverNameEdit_);
  tcpPortLabel_.setBuddy(&tcpPortEdit_);
  udpPortLabel_.setBuddy(&baseUdpPortEdit_);
  spawnLabel_.setBuddy(&spawnXSpin_);
  identityEdit_.setEnabled(false);
  pauseButton_.setEnabled(false);
  stopButton_.setEnabled(false);

  driveCombo_.setObjectName(QStringLiteral("DriveComboBox1"));
  directoryList_.setObjectName(QStringLiteral("DirectoryListBox1"));
  identityEdit_.setObjectName(QStringLiteral("Edit2"));
  serverNameEdit_.setObjectName(QStringLiteral("Edit3"));
  tcpPortEdit_.setObjectName(QStringLiteral("Edit5"));
  baseUdpPortEdit_.setObjectName(QStringLiteral("Edit6"));
  maxClientsSpin_.setObjectName(QStringLiteral("SpinEdit1"));
  spawnXSpin_.setObjectName(QStringLiteral("SpinEdit2"));
  spawnYSpin_.setObjectName(QStringLiteral("SpinEdit3"));
  startButton_.setObjectName(QStringLiteral("BitBtn1"));
  pauseButton_.setObjectName(QStringLiteral("PauseButton"));
  stopButton_.setObjectName(QStringLiteral("StopButton"));

  // Left: the directory chooser; right: the settings, one per row; buttons below.
  setupLayout_.addWidget(&directoryLabel_, 0, 0);
  setupLayout_.addWidget(&driveCombo_, 1, 0);
  setupLayout_.addWidget(&directoryList_, 2, 0, 6, 1);
  QLabel* labels[] = {&identityLabel_, &serverNameLabel_, &tcpPortLabel_,
                      &udpPortLabel_,  &maxClientsLabel_, &spawnLabel_};
  QWidget* fields[] = {&identityEdit_,    &serverNameEdit_, &tcpPortEdit_,
                       &baseUdpPortEdit_, &maxClientsSpin_, &spawnXSpin_};
  for (int row = 0; row < 6; ++row) {
    setupLayout_.addWidget(labels[row], row, 1);
    setupLayout_.addWidget(fields[row], row, 2, 1, row == 5 ? 1 : 2);
  }
  setupLayout_.addWidget(&spawnYSpin_, 5, 3);
  setupLayout_.setRowStretch(6, 1);
  setupLayout_.addWidget(&startButton_, 8, 0);
  setupLayout_.addWidget(&pauseButton_, 8, 1, 1, 2);
  setupLayout_.addWidget(&stopButton_, 8, 3);
  setupLayout_.setColumnStretch(0, 3);
  setupLayout_.setColumnStretch(2, 1);
  setupLayout_.setColumnStretch(3, 1);
}

void TMainSrvForm::BuildMessagesPage() {
  messagesPage_.setLayout(&messagesLayout_);
  messageEdit1_.setObjectName(QStringLiteral("MessageEdit1"));
  messageEdit2_.setObjectName(QStringLiteral("MessageEdit2"));
  makeCurrent1_.setObjectName(QStringLiteral("MakeCurrent1"));
  makeCurrent2_.setObjectName(QStringLiteral("MakeCurrent2"));
  messagesLayout_.addWidget(&messageEdit1_, 0, 0);
  messagesLayout_.addWidget(&makeCurrent1_, 0, 1);
  messagesLayout_.addWidget(&messageEdit2_, 1, 0);
  messagesLayout_.addWidget(&makeCurrent2_, 1, 1);
  messagesLayout_.setRowStretch(2, 1);
}

void TMainSrvForm::BuildAccountsPage() {
  accountsPage_.setLayout(&accountsLayout_);
  accountsView_.setObjectName(QStringLiteral("ListView1"));
  addButton_.setObjectName(QStringLiteral("AddButton"));
  deleteButton_.setObjectName(QStringLiteral("DeleteButton"));
  modifyButton_.setObjectName(QStringLiteral("ModifyButton"));
  banButton_.setObjectName(QStringLiteral("BanButton"));
  accountsView_.setModel(&accountModel_);
  accountsView_.setRootIsDecorated(false);
  accountsView_.setSelectionMode(QAbstractItemView::SingleSelection);
  accountsView_.setSelectionBehavior(QAbstractItemView::SelectRows);
  accountsView_.setAllColumnsShowFocus(true);
  // The accounts file is opened by the start sequence.
  addButton_.setEnabled(false);
  modifyButton_.setEnabled(false);
  banButton_.setEnabled(false);
  accountsLayout_.addWidget(&accountsView_, 0, 0, 1, 5);
  accountsLayout_.addWidget(&addButton_, 1, 0);
  accountsLayout_.addWidget(&deleteButton_, 1, 1);
  accountsLayout_.addWidget(&modifyButton_, 1, 2);
  accountsLayout_.addWidget(&banButton_, 1, 3);
  accountsLayout_.setColumnStretch(4, 1);
}

void TMainSrvForm::BuildMapPage() {
  mapPage_.setLayout(&mapLayout_);
  zoomCombo_.setObjectName(QStringLiteral("ZoomComboBox"));
  zoomCombo_.addItem(QStringLiteral("Whole world"), 0);
  for (int zoom : {1, 2, 4, 8}) zoomCombo_.addItem(QStringLiteral("%1×").arg(zoom), zoom);
  zoomLabel_.setBuddy(&zoomCombo_);
  connect(&zoomCombo_, &QComboBox::currentIndexChanged, this,
          [this](int index) { mapView_.SetZoom(zoomCombo_.itemData(index).toInt()); });
  zoomCombo_.setCurrentIndex(3);  // 4x: the players' surroundings
  mapLayout_.addWidget(&zoomLabel_, 0, 0);
  mapLayout_.addWidget(&zoomCombo_, 0, 1);
  mapLayout_.addWidget(&mapView_, 1, 0, 1, 3);
  mapLayout_.setColumnStretch(2, 1);
  mapLayout_.setRowStretch(1, 1);
}

void TMainSrvForm::RefreshMap() {
  if (!server_.ServerStarted()) return mapView_.SetPlayers({});
  if (const std::shared_ptr<const TWorldData> world = server_.World())
    mapView_.SetWorld(world->Map());
  mapView_.SetPlayers(*server_.Status().Players);
}

TServerSettings TMainSrvForm::FieldSettings() const {
  TServerSettings settings = settings_;  // what no field shows stays as given
  settings.GameDirectory = directoryList_.Directory();
  settings.ServerName = serverNameEdit_.text().toStdString();
  settings.TcpPort = TcpPortOf(tcpPortEdit_.text().toStdString(), "TCP Port");
  settings.BaseUdpPortText = baseUdpPortEdit_.text().toStdString();
  settings.MaxClients = maxClientsSpin_.value();
  settings.SpawnX = spawnXSpin_.value();
  settings.SpawnY = spawnYSpin_.value();
  return settings;
}

void TMainSrvForm::StartServerClick() {
  if (server_.Starting() || server_.ServerStarted()) return;
  try {
    actions_.Start(FieldSettings());
  } catch (const EStopRequested&) {
    iregExForm_->hide();  // the window is closing: nothing to report
  } catch (const std::exception& e) {
    iregExForm_->hide();    // an extraction that failed midway
    ReportError(e.what());  // the admin API's, too, with the server running
  }
  if (!server_.ServerStarted()) return StartFailed();
  addButton_.setEnabled(true);
  modifyButton_.setEnabled(true);
  banButton_.setEnabled(true);
  accountsTimer_.start(static_cast<int>(server_.Options().BeatInterval));
  RefreshAccounts();
  RefreshMap();
}

void TMainSrvForm::PauseButtonClick() {
  if (!server_.ServerStarted()) return;
  const bool paused = !server_.Status().Paused;
  server_.SetPaused(paused);
  pauseButton_.setText(paused ? QStringLiteral("Resume Server") : QStringLiteral("Pause Server"));
}

const TAccountRow* TMainSrvForm::SelectedRow() const {
  QModelIndex current = accountsView_.currentIndex();
  if (!current.isValid() || !accountsView_.selectionModel()->isSelected(current)) return nullptr;
  const std::vector<TAccountRow>& rows = accountModel_.Rows();
  if (current.row() < 0 || static_cast<std::size_t>(current.row()) >= rows.size()) return nullptr;
  return &rows[static_cast<std::size_t>(current.row())];
}

void TMainSrvForm::AccountDone(const std::string& error) {
  if (!error.empty()) ReportError(error);
  RefreshAccounts();
}

void TMainSrvForm::OpenAccountDialog(const std::string& name, TPrivileges privileges) {
  if (!server_.Administration()) return;
  accountDialog_ = std::make_unique<TAccountDialog>(this, name, privileges);
  connect(accountDialog_.get(), &QDialog::accepted, this, &TMainSrvForm::SaveAccountEntry);
  accountDialog_->open();
}

void TMainSrvForm::AddButtonClick() {
  OpenAccountDialog({}, TPrivileges::Player);
}

void TMainSrvForm::ModifyButtonClick() {
  const TAccountRow* row = SelectedRow();
  if (!row || row->Account.empty()) return;
  OpenAccountDialog(row->Account, ParsePrivileges(row->Privileges).value_or(TPrivileges::Player));
}

void TMainSrvForm::SaveAccountEntry() {
  std::optional<TAccountEntry> entry = accountDialog_->Entry();
  accountDialog_->ForgetPasswords();
  TAdministration* administration = server_.Administration();
  if (!entry || !administration) return;
  administration->EditAccount(
      TAccountEdit{entry->Name,
                   std::move(entry->Password),
                   entry->Privileges,
                   !accountDialog_->Modifies(),
                   {}},
      [this](TEditOutcome, const std::string& error) { AccountDone(error); });
}

void TMainSrvForm::DeleteButtonClick() {
  const TAccountRow* row = SelectedRow();
  if (!row) return;
  const bool inGame = row->GUID != 0;
  if (row->Account.empty()) {
    // A player without an account: its connection is closed.
    if (row->SocketID < 1 || row->SocketID > MAX_SOCKETS) return;
    if (!Confirm("Disconnect " + row->Name + "?")) return;
    // The list may be a cycle old: dropped only while the number still belongs to that player.
    if (TAdministration* administration = server_.Administration())
      administration->DropClient(row->SocketID, row->GUID);
    return;
  }
  if (!server_.Administration()) return;
  const std::string name = row->Account;
  if (!Confirm("Delete the account " + row->Name + "?" +
               (inGame ? " It is in the game and will be kicked." : "")))
    return;
  if (TAdministration* administration = server_.Administration())
    administration->DeleteAccount(
        name, {}, [this](TEditOutcome, const std::string& error) { AccountDone(error); });
}

void TMainSrvForm::BanButtonClick() {
  const TAccountRow* row = SelectedRow();
  if (!row || !server_.Administration()) return;
  // The row's name, as a name whatever it reads as: a player may call itself 0.0.0.0/0.
  const std::string name = row->Account.empty() ? ReadName(row->Name) : row->Account;
  std::optional<std::string> how =
      AskText("Ban " + row->Name + " for how long? (30s, 10m, 2h, 7d; empty: for good)");
  if (!how) return;
  TBanTarget target;
  try {
    target = ParseBanTarget(name, TBanReading::Name);
  } catch (const std::exception& e) {
    return ReportError(e.what());
  }
  std::optional<int64_t> seconds;
  if (!how->empty()) {
    seconds = ParseDuration(*how);
    if (!seconds) return ReportError("Not a duration: " + *how + " (30s, 10m, 2h, 7d).");
  }
  const TBan ban = NewBan(std::move(target), {}, seconds, SystemWallClock());
  if (TAdministration* administration = server_.Administration())
    administration->AddBan(ban, [this](const std::string& error) { AccountDone(error); });
}

void TMainSrvForm::RefreshAccounts() {
  TAdministration* administration = server_.Administration();
  if (!administration) {
    accountModel_.SetRows({});
    return;
  }
  std::vector<TAccount> accounts;
  try {
    accounts = administration->Accounts().Reads().List();
  } catch (const std::exception&) {
    // The file cannot be read now: the players in the game are listed all the same.
  }
  accountModel_.SetRows(AccountRows(accounts, server_.Status()));
}

void TMainSrvForm::ServerStarting() {
  startButton_.setEnabled(false);
  directoryList_.setEnabled(false);
  driveCombo_.setEnabled(false);
  pauseButton_.setEnabled(true);
  stopButton_.setEnabled(true);
  maxClientsSpin_.setEnabled(true);
}

void TMainSrvForm::StartFailed() {
  // As before the start: the fields can be put right and the start tried again.
  startButton_.setEnabled(true);
  directoryList_.setEnabled(true);
  driveCombo_.setEnabled(true);
  pauseButton_.setEnabled(false);
  stopButton_.setEnabled(false);
}

void TMainSrvForm::ShowStatusTab() {
  tabs_.setCurrentWidget(&statusPage_);
}

void TMainSrvForm::ProcessPendingEvents() {
  QApplication::processEvents();
}

void TMainSrvForm::AppendToView(const std::string& line) {
  logMemo_.AppendToView(line);
}

void TMainSrvForm::ShowIdentity(const std::string& identity) {
  identityEdit_.setText(Q(identity));
}

void TMainSrvForm::ShowStatus(const std::string& connected, const std::string& peak) {
  connectedLabel_.setText(Q(connected + " Clients"));
  peakLabel_.setText(Q(peak));
}

IExtractProgress& TMainSrvForm::ShowExtractionProgress(const std::string& gameDirectory,
                                                       const std::string& dataDirectory) {
  iregExForm_->Prepare(gameDirectory, dataDirectory);
  iregExForm_->ShowCentred();
  return *iregExForm_;
}

void TMainSrvForm::HideExtractionProgress() {
  iregExForm_->hide();
}

void TMainSrvForm::closeEvent(QCloseEvent* event) {
  // During the start sequence (which lets events run) the stop waits for its next step, and
  // the window closes then.
  if (!actions_.Stop()) return event->ignore();
  accountsTimer_.stop();
  iregExForm_->hide();
  event->accept();
}

}  // namespace zq
