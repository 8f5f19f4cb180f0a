// The start sequence: settings, log and banner, data directory and extraction, identity,
// world data, the game objects and threads, then the listener and the heartbeat.
#include <filesystem>
#include <fstream>

#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/qt/UdpEndpoint.h"
#include "server/SettingsTable.h"
#include "server/ZQOSrv.h"
#include "world/Installation.h"

namespace zq {
namespace fs = std::filesystem;

namespace {

std::string WithSlash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

// The extraction's progress, with a look for a stop request after each turn of the loop.
class TStoppableProgress : public IExtractProgress {
 public:
  TStoppableProgress(IExtractProgress& shown, std::function<void()> checkStop)
      : shown_(shown), checkStop_(std::move(checkStop)) {}
  void SetLabel(int label, const std::string& text) override { shown_.SetLabel(label, text); }
  void ProcessEvents() override {
    shown_.ProcessEvents();
    checkStop_();
  }

 private:
  IExtractProgress& shown_;
  std::function<void()> checkStop_;
};

}  // namespace

void TZQOServer::CheckStop() const {
  if (stopRequested_) throw EStopRequested();
}

void TZQOServer::StartServer(const TServerSettings& settings) {
  if (startAttempted_) return;
  startAttempted_ = true;
  view_.ServerStarting();
  std::string chosen =
      settings.GameDirectory.empty() ? fs::current_path().string() : settings.GameDirectory;
  gameDirectory_ = WithSlash(fs::absolute(chosen).lexically_normal().string());
  dataDirectory_ = gameDirectory_ + "SRVDAT/";
  CheckSettings(settings, TitleName);  // named as the window names them
  baseUdpPort_ = settings.BaseUdpPort();
  tcpPort_ = settings.TcpPort;
  listenAddress_ = settings.ListenAddress;
  setupTimeoutMs_ = settings.SetupTimeoutMs;
  maxPerAddress_ = settings.MaxPerAddress;
  view_.ShowStatusTab();
  view_.ProcessPendingEvents();
  CheckStop();

  CheckInstallation(gameDirectory_);  // before anything is written
  OpenLog(fs::path(settings.LogFile).is_absolute() ? settings.LogFile
                                                   : gameDirectory_ + settings.LogFile);
  Log("************************");
  Log(std::string("* Server is version ") + VersionString);
  Log("* Using data from " + gameDirectory_);
  connectedCount_ = 0;
  peakConnected_ = 0;
  maxAllowed_ = settings.MaxClients;
  Log("* Initial max is " + std::to_string(maxAllowed_));
  Log("Server initialization:");
  try {
    PrepareDataDirectory();
    CheckStop();
    ReadIdentity();
    serverNameSetting_ = settings.ServerName;
    LoadWorld();
    CheckStop();
    OpenAccounts(settings);
    CreateGame(settings);
    OpenNetwork();
  } catch (const EStopRequested&) {
    throw;
  } catch (const std::exception& e) {
    Log(std::string("Start-up failed: ") + e.what());  // the log tells why it stops here
    throw;
  }
  UpdateStatus();
  startedAt_ = std::chrono::system_clock::now();
  serverStarted_ = true;
}

void TZQOServer::OpenLog(const std::string& path) {
  log_ = std::make_unique<TLogFileWriter>(path);
  log_->SetCallback([this](const std::string& line) {
    view_.AppendToView(line);
    Tell(TLogLineEvent{line});
  });
}

void TZQOServer::PrepareDataDirectory() {
  if (int n = RemoveUnfinishedUnpacking(gameDirectory_))
    Log("Removed " + std::to_string(n) + " unfinished unpacking(s) of " + DATA_DIRECTORY_NAME +
        ".");
  // An existing data directory, in any letter case, is used as it is.
  if (std::optional<std::string> existing = FindDataDirectory(gameDirectory_)) {
    dataDirectory_ = *existing;
    return;
  }
  Log("Building GameDat entries in " + dataDirectory_);
  TStoppableProgress progress(view_.ShowExtractionProgress(), [this] { CheckStop(); });
  try {
    BuildDataDirectory(gameDirectory_, progress);
  } catch (...) {
    view_.HideExtractionProgress();
    throw;
  }
  view_.HideExtractionProgress();
}

void TZQOServer::ReadIdentity() {
  std::string path = ResolvePath(dataDirectory_, "IDENTITY");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EInOutError("Cannot open " + path + ": no such file or not readable");
  std::string line;
  std::getline(in, line);
  if (in.bad()) throw EInOutError("Cannot read " + path);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.size() > 0xFFFF)
    throw EInOutError("The identity in " + path + " is " + std::to_string(line.size()) +
                      " bytes long, more than the 65535 a message can carry");
  gameIdentity_ = line;
  view_.ShowIdentity(gameIdentity_);
}

void TZQOServer::LoadWorld() {
  world_ = LoadWorldData(gameDirectory_, WithSlash(dataDirectory_), [this](TWorldStep done) {
    CheckStop();
    switch (done) {
      case TWorldStep::Shapes:
        return Log("Shapes loaded.");
      case TWorldStep::Tfa:
        return view_.ProcessPendingEvents();
      case TWorldStep::Map:
        Log("TFA, Chunks, Map loaded.");
        return view_.ProcessPendingEvents();
      case TWorldStep::Fixed:
        return Log("IFIX Loaded.");
      case TWorldStep::Registered:
        return Log("IREG Loaded.");
      default:
        return;
    }
  });
}

void TZQOServer::CreateGame(const TServerSettings& settings) {
  sockets_.Clear();
  // The queues come first here because the player manager posts into the dispatch queue;
  // nothing runs between these creations, so the order is not observable.
  gameQueue_ = std::make_unique<TGameMessenger>(GAME_QUEUE_NAME, GAME_QUEUE_RESERVE);
  dispatchQueue_ = std::make_unique<TGameMessenger>(DISPATCH_QUEUE_NAME);
  guids_ = std::make_unique<TGUIDManager>();
  gameTimer_ = std::make_unique<TGameTimer>(TIMER_MODE_TICKCOUNT);
  players_ =
      std::make_unique<TServerPlayerManager>(*guids_, *gameTimer_, *dispatchQueue_, sockets_,
                                             world_->Blocking(), settings.SpawnX, settings.SpawnY);
  // The game's events reach the sink on the main thread, in order with the log lines.
  players_->SetEventSink([this](TGameEvent event) {
    if (!gameEventsWanted_.load(std::memory_order_relaxed)) return;  // nobody listens
    mainQueue_.Post([this, event = std::move(event)] { Tell(event); });
  });
  protocol_ = std::make_unique<TZQProtocolFormat>(sockets_);
  auto writeLog = [this](const std::string& line) { Log(line); };
  dispatch_ = std::make_unique<TDispatchManager>(mainQueue_, *dispatchQueue_, sockets_, writeLog);
  // A player's input that waited for its GUID goes on once the GUID is bound.
  dispatch_->SetOnBound([this](TSocketID& client) {
    if (client.Socket) protocol_->TCP_parseInputStream(*client.Socket, client.ReceiveBuffer);
  });
  dispatch_->Start();
  gameManager_ = std::make_unique<TServerGameManager>(mainQueue_, *gameQueue_, *players_, writeLog,
                                                      options_.TickInterval);
  gameManager_->Start();
  handler_ = std::make_unique<TClientMessageHandler>(
      sockets_, *gameQueue_, TClientSettings{gameIdentity_, baseUdpPort_, settings.MaxMessageRate},
      [address = listenAddress_] { return CreateUdpEndpoint(address); },
      [this](IUdpEndpoint& endpoint, std::string datagram, uint16_t port,
             const std::string& address) {
        OnDatagram(endpoint, std::move(datagram), port, address);
      },
      [this](TSocketID& client) { DropFor(client, "message flood"); });
  handler_->SetLoginHooks(
      {[this](TSocketID& client) { CheckLogin(client); },
       [this](TSocketID& client, std::string_view text) { return OnSpeech(client, text); },
       [this](TSocketID& client) { RecordPlayTime(client); }});
  protocol_->SetMessageHandler(handler_->AsMessageHandler());
}

void TZQOServer::OpenAccounts(const TServerSettings& settings) {
  TAccountServiceOptions accounts;
  accounts.Path = AccountsFilePath(gameDirectory_, settings.AccountsFile);
  accounts.Mode = settings.Auth;
  accounts.Hasher = options_.Hasher;
  accounts.LoginThreads = options_.LoginThreads;
  accounts_ = std::make_unique<TAccountService>(
      mainQueue_, accounts, [this](TLoginVerdict verdict) { OnLoginVerdict(std::move(verdict)); });
  Log("Accounts in " + accounts_->Path() + ", logins " + std::string(AuthModeName(settings.Auth)) +
      ".");
}

void TZQOServer::OpenNetwork() {
  listener_ = std::make_unique<TTcpListener>();
  listener_->SetSendLimit(options_.SendLimit);
  listener_->OnConnect = [this](ITcpConnection& c) { OnClientConnect(c); };
  listener_->OnDisconnect = [this](ITcpConnection& c) { OnClientDisconnect(c); };
  listener_->OnRead = [this](ITcpConnection& c) { OnClientRead(c); };
  listener_->OnWrite = [this](ITcpConnection& c) { OnClientWrite(c); };
  listener_->OnError = [this](ITcpConnection& c, int& code) { OnClientError(c, code); };
  listener_->OnOverflow = [this](ITcpConnection& c) { OnClientOverflow(c); };
  if (listenAddress_ != DEFAULT_LISTEN_ADDRESS) Log("Listening on address " + listenAddress_ + ".");
  listener_->Listen(tcpPort_, listenAddress_);
  Log("Server is TCP listening on " + std::to_string(listener_->Port()));
  receivingUdp_ = true;
  beatTimer_ = std::make_unique<TPeriodicTimer>([this] { OnBeatTimer(); });
  beatTimer_->Start(static_cast<int>(options_.BeatInterval));
  Log("Beat is active at a " + std::to_string(BEAT_INTERVAL) + "ms interval, with a " +
      std::to_string(BEAT_MISS_LIMIT) + " timeout.");
  setupTimer_ = std::make_unique<TPeriodicTimer>([this] { CheckSetupDeadlines(); });
  setupTimer_->Start(static_cast<int>(SETUP_CHECK_INTERVAL));
}

}  // namespace zq
