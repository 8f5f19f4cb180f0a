// The start sequence: settings, log and banner, data directory and extraction, identity,
// world data, the game objects and threads, then the listener and the heartbeat.
#include <filesystem>
#include <fstream>

#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/qt/UdpEndpoint.h"
#include "server/ZQOSrv.h"
#include "world/Installation.h"

namespace zq {
namespace fs = std::filesystem;

namespace {

std::string WithSlash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

}  // namespace

void TZQOServer::StartServer(const TServerSettings& settings) {
  if (startAttempted_) return;
  startAttempted_ = true;
  spawnX_ = settings.SpawnX;
  spawnY_ = settings.SpawnY;
  view_.ServerStarting();
  std::string chosen =
      settings.GameDirectory.empty() ? fs::current_path().string() : settings.GameDirectory;
  gameDirectory_ = WithSlash(fs::absolute(chosen).lexically_normal().string());
  dataDirectory_ = gameDirectory_ + "SRVDAT/";
  baseUdpPort_ = static_cast<uint16_t>(StrToInt(settings.BaseUdpPortText));
  view_.ShowStatusTab();
  view_.ProcessPendingEvents();

  CheckInstallation(gameDirectory_);  // before anything is written
  OpenLog();
  Log("************************");
  Log(std::string("* Server is version ") + VersionString);
  Log("* Using data from " + gameDirectory_);
  connectedCount_ = 0;
  peakConnected_ = 0;
  maxAllowed_ = settings.MaxClients;
  Log("* Initial max is " + std::to_string(maxAllowed_));
  Log("Server initialization:");

  PrepareDataDirectory();
  ReadIdentity();
  serverNameSetting_ = settings.ServerName;
  LoadWorld();
  CreateGame(settings);
  OpenNetwork();
  UpdateStatus();
  serverStarted_ = true;
}

void TZQOServer::OpenLog() {
  log_ = std::make_unique<TLogFileWriter>("ZQOSRV.LOG");
  log_->SetCallback([this](const std::string& line) { view_.AppendToView(line); });
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
  IExtractProgress& progress = view_.ShowExtractionProgress();
  BuildDataDirectory(gameDirectory_, progress);
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
  gameIdentity_ = line;
  view_.ShowIdentity(gameIdentity_);
}

void TZQOServer::LoadWorld() {
  world_ = std::make_unique<TWorldData>();
  world_->LoadShapes(ResolvePath(gameDirectory_, "STATIC/SHAPES.VGA"));
  Log("Shapes loaded.");
  world_->LoadShapeDims(ResolvePath(gameDirectory_, "STATIC/SHPDIMS.DAT"));
  world_->LoadTfa(ResolvePath(gameDirectory_, "STATIC/TFA.DAT"));
  view_.ProcessPendingEvents();
  world_->LoadChunks(ResolvePath(gameDirectory_, "STATIC/ZQCHUNKS"));
  world_->LoadMap(ResolvePath(gameDirectory_, "STATIC/ZQMAP"));
  Log("TFA, Chunks, Map loaded.");
  view_.ProcessPendingEvents();
  world_->LoadFixed(ResolvePath(gameDirectory_, "STATIC") + "/ZQIFIX");
  Log("IFIX Loaded.");
  world_->LoadRegistered(WithSlash(dataDirectory_) + "ZQIREG");
  Log("IREG Loaded.");
}

void TZQOServer::CreateGame(const TServerSettings& settings) {
  tables_.Clear();
  // The queues come first here because the player manager posts into the dispatch queue;
  // nothing runs between these creations, so the order is not observable.
  gameQueue_ = std::make_unique<TGameMessenger>("ZQO-SGM");
  dispatchQueue_ = std::make_unique<TGameMessenger>(DISPATCH_QUEUE_NAME);
  guids_ = std::make_unique<TGUIDManager>();
  gameTimer_ = std::make_unique<TGameTimer>(TIMER_MODE_TICKCOUNT);
  players_ =
      std::make_unique<TServerPlayerManager>(*guids_, *gameTimer_, *dispatchQueue_, tables_.Sockets,
                                             world_->Blocking(), settings.SpawnX, settings.SpawnY);
  protocol_ = std::make_unique<TZQProtocolFormat>(tables_.Sockets);
  auto writeLog = [this](const std::string& line) { Log(line); };
  dispatch_ = std::make_unique<TDispatchManager>(mainQueue_, *dispatchQueue_, tables_, writeLog);
  dispatch_->Start();
  gameManager_ = std::make_unique<TServerGameManager>(mainQueue_, *gameQueue_, *players_, writeLog,
                                                      options_.TickInterval);
  gameManager_->Start();
  handler_ = std::make_unique<TClientMessageHandler>(
      tables_, *gameQueue_, TClientSettings{gameIdentity_, baseUdpPort_}, &CreateUdpEndpoint,
      [this](IUdpEndpoint& endpoint, std::string datagram, uint16_t port,
             const std::string& address) {
        InUDPDataReceived(endpoint, std::move(datagram), port, address);
      });
  protocol_->SetMessageHandler(handler_->AsMessageHandler());
}

void TZQOServer::OpenNetwork() {
  listener_ = std::make_unique<TTcpListener>();
  listener_->SetSendLimit(options_.SendLimit);
  listener_->OnConnect = [this](ITcpConnection& c) { InSocketClientConnect(c); };
  listener_->OnDisconnect = [this](ITcpConnection& c) { InSocketClientDisconnect(c); };
  listener_->OnRead = [this](ITcpConnection& c) { InSocketClientRead(c); };
  listener_->OnWrite = [this](ITcpConnection& c) { InSocketClientWrite(c); };
  listener_->OnError = [this](ITcpConnection& c, int& code) { InSocketClientError(c, code); };
  listener_->OnOverflow = [this](ITcpConnection& c) { InSocketClientOverflow(c); };
  listener_->Listen(options_.TcpPort);
  Log("Server is TCP listening on " + std::to_string(listener_->Port()));
  receivingUdp_ = true;
  beatTimer_ = std::make_unique<TPeriodicTimer>([this] { BeatTimerTimer(); });
  beatTimer_->Start(static_cast<int>(options_.BeatInterval));
  Log("Beat is active at a " + std::to_string(BEAT_INTERVAL) + "ms interval, with a " +
      std::to_string(BEAT_MISS_LIMIT) + " timeout.");
}

}  // namespace zq
