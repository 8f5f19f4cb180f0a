#include "server/RunningServer.h"

#include "platform/Console.h"
#include "platform/Errors.h"
#include "server/SettingsTable.h"
#include "world/Installation.h"

namespace zq {
namespace {

// The settings as the start sequence takes them: every value checked (raising EConvertError
// in the window's words) before anything is shown or written.
TServerSettings Checked(const TServerSettings& settings) {
  CheckSettings(settings, TitleName);
  return settings;
}

// The game directory, checked to hold STATIC before anything is written into it; the view
// shows the status tab first.
std::string CheckedGameDirectory(const TRunContext& context, const TServerSettings& settings) {
  std::string directory = GameDirectoryOf(settings);
  context.View.ShowStatusTab();
  context.View.ProcessPendingEvents();
  context.CheckStop();
  CheckInstallation(directory);
  return directory;
}

TLogSettings LogSettings(const std::string& gameDirectory, const TServerSettings& s) {
  return TLogSettings{
      .Path = LogPathOf(gameDirectory, s), .Dates = s.LogDates, .Threshold = s.LogLevel};
}

TConnectionSettings ConnectionSettings(const TServerSettings& s, const std::string& identity) {
  TConnectionSettings c;
  c.ServerName = s.ServerName;
  c.GameIdentity = identity;
  c.ListenAddress = s.ListenAddress;
  c.TcpPort = s.TcpPort;
  c.BaseUdpPort = s.BaseUdpPort();
  c.MaxClients = s.MaxClients;
  c.SetupTimeoutMs = s.SetupTimeoutMs;
  c.MaxPerAddress = s.MaxPerAddress;
  c.MaxMessageRate = s.MaxMessageRate;
  return c;
}

TAccountServiceOptions AccountOptions(const TServerSettings& s, const std::string& gameDirectory,
                                      const TServerOptions& options) {
  TAccountServiceOptions accounts;
  accounts.Path = AccountsFilePath(gameDirectory, s.AccountsFile);
  accounts.Mode = s.Auth;
  accounts.Hasher = options.Hasher;
  accounts.LoginThreads = options.LoginThreads;
  return accounts;
}

}  // namespace

template <typename Step>
auto TRunningServer::Logged(Step step) -> decltype(step()) {
  try {
    return step();
  } catch (const EStopRequested&) {
    throw;
  } catch (const std::exception& e) {
    // the log tells why it stops here
    log_.Write(TLogLevel::Error, std::string("Start-up failed: ") + e.what());
    throw;
  }
}

TRunningServer::TRunningServer(const TRunContext& context, const TServerSettings& settings)
    : context_(context),
      settings_(Checked(settings)),
      gameDirectory_(CheckedGameDirectory(context, settings_)),
      lock_(gameDirectory_ + GAME_DIRECTORY_LOCK, "Game directory " + gameDirectory_),
      log_(LogSettings(gameDirectory_, settings_), context.View, context.Teller),
      dataDirectory_(Logged([&] {
        log_.Write("************************");
        log_.Write(TLogLevel::Notice, std::string("* Server is version ") + VersionString);
        log_.Write("* Using data from " + gameDirectory_);
        log_.Write("* Initial max is " + std::to_string(settings_.MaxClients));
        log_.Write("Server initialization:");
        std::string directory =
            PrepareDataDirectory(gameDirectory_, log_, context_.View, context_.CheckStop);
        context_.CheckStop();
        return directory;
      })),
      gameIdentity_(Logged([&] {
        std::string identity = ReadIdentity(dataDirectory_);
        context_.View.ShowIdentity(identity);
        return identity;
      })),
      world_(Logged([&] {
        auto world =
            LoadWorld(gameDirectory_, dataDirectory_, log_, context_.View, context_.CheckStop);
        context_.CheckStop();
        return world;
      })),
      accounts_(Logged([&] {
        // Verdicts are posted to the main thread, so they come once this object is made.
        return std::make_unique<TAccountService>(
            context_.Main, AccountOptions(settings_, gameDirectory_, context_.Options),
            [this](TLoginVerdict verdict) { logins_.OnLoginVerdict(std::move(verdict)); });
      })),
      game_(
          context.Main, sockets_, *world_,
          TGameSettings{settings_.SpawnX, settings_.SpawnY, context.Options.TickInterval},
          [this](TLogLevel level, const std::string& line) { log_.Write(level, line); },
          context.Teller),
      connections_(log_, context.View, sockets_, game_, context.Options,
                   ConnectionSettings(settings_, gameIdentity_)),
      logins_(*accounts_, connections_),
      administration_(*accounts_, connections_, sockets_, context.Teller),
      commands_(administration_, connections_, sockets_, game_.GameQueue()) {
  log_.Write("Accounts in " + accounts_->Path() + ", logins " +
             std::string(AuthModeName(settings_.Auth)) + ".");
  TSessionHooks hooks;
  hooks.Login.CheckLogin = [this](TSocketID& client) { logins_.CheckLogin(client); };
  hooks.Login.TakeSpeech = [this](TSocketID& client, std::string_view text) {
    return commands_.OnSpeech(client, text);
  };
  hooks.Login.LeftGame = [this](TSocketID& client) { logins_.RecordPlayTime(client); };
  hooks.AddressBanned = [this](const std::string& address) {
    return logins_.AddressBanned(address);
  };
  hooks.AdminAddress = [this](const std::string& address) { return logins_.AdminAddress(address); };
  // Bans and privileges changed from the shell reach the players within a cycle.
  hooks.BeatCycle = [this] { administration_.NoticeFileChanges(); };
  connections_.SetSessionHooks(std::move(hooks));
}

TRunningServer::~TRunningServer() {
  Halt();
}

void TRunningServer::Start() {
  Logged([&] {
    started_ = true;
    game_.Start();
    connections_.Listen();
  });
  startedAt_ = std::chrono::system_clock::now();
}

void TRunningServer::Stop() {
  Log(TLogLevel::Notice, "Server shutdown.");
  logins_.Stop(sockets_);
  Halt();
}

void TRunningServer::Halt() {
  connections_.Stop();
  game_.Stop();
  accounts_->Stop();
}

void TRunningServer::Reload() {
  Log(TLogLevel::Notice, "Reload requested.");
  // The accounts file may have been replaced: its bans and privileges apply to the connected
  // players now.
  try {
    accounts_->Reopen();
    Log("Accounts file " + accounts_->Path() + " reopened.");
  } catch (const std::exception& e) {
    Log(TLogLevel::Error, std::string("Cannot reopen the accounts file: ") + e.what());
  }
  administration_.RecheckPlayers();
}

void TRunningServer::Apply(const TServerSettings& settings) {
  log_.SetThreshold(settings.LogLevel);
  SetConsoleThreshold(settings.LogLevel);
  connections_.Apply(ConnectionSettings(settings, gameIdentity_));
  accounts_->SetMode(settings.Auth);
}

TServerStatus TRunningServer::Status() const {
  TServerStatus s;
  s.Running = true;
  s.Paused = connections_.Paused();
  s.ServerName = settings_.ServerName;
  s.GameIdentity = gameIdentity_;
  s.GameDirectory = gameDirectory_;
  s.DataDirectory = dataDirectory_;
  s.StartedAt = startedAt_;
  s.ListeningPort = connections_.ListeningPort();
  s.Connected = connections_.ConnectedCount();
  s.PeakConnected = connections_.PeakConnected();
  s.MaxClients = connections_.MaxAllowed();
  s.Players = game_.Manager().Snapshot().Read();
  for (const TSocketID& client : sockets_) {
    if (!client.InUse()) continue;
    TConnectionStatus c;
    c.SocketID = client.Number;
    c.GUID = client.GUID.load(std::memory_order_relaxed);
    c.Address = client.Address;
    c.Port = client.Port;
    c.LoginName = client.LoginRecord.UserName;
    c.PlayerName = client.PlayerName;
    c.InGame = client.InGame();
    c.Admin = client.Admin;
    if (client.HeartbeatRecord.RoundTripKnown) c.RoundTripMs = client.HeartbeatRecord.RoundTrip;
    c.AcceptedAt = client.AcceptedAt;
    s.Connections.push_back(std::move(c));
  }
  s.Counters = connections_.Counters();
  s.Traffic = sockets_.Traffic();
  s.Unaddressed = game_.Dispatch().Unaddressed();
  s.RateLimited = connections_.RateLimited();
  s.GameQueue = TQueueStatus{game_.GameQueue().Size(), game_.GameQueue().Refused()};
  s.DispatchQueue = TQueueStatus{game_.DispatchQueue().Size(), game_.DispatchQueue().Refused()};
  s.UpdateDurations = game_.Manager().UpdateDurations().Read();
  s.BeatRoundTrips = connections_.BeatRoundTrips().Read();
  s.LoginChecks = accounts_->LoginCheckDurations().Read();
  return s;
}

}  // namespace zq
