// The start sequence and the game directory: a directory that is no installation is left as
// it was; a first start that fails leaves no SRVDAT, and the next one builds it whole.
#include <filesystem>
#include <set>

#include "platform/Errors.h"
#include "tests/server/ServerFixture.h"
#include "tools/mkworld/FlexWriter.h"
#include "world/Installation.h"

namespace zq::test {
namespace {

namespace fs = std::filesystem;

std::set<std::string> Listing(const std::string& dir) {
  std::set<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.insert(e.path().filename().string());
  return out;
}

std::string StartError(TRecordingView& view, const std::string& gameDir) {
  TZQOServer server(view);
  TServerSettings settings;
  settings.GameDirectory = gameDir;
  settings.TcpPort = 0;  // any free port, should the start get that far
  try {
    server.StartServer(settings);
  } catch (const EInOutError& e) {
    EXPECT_FALSE(server.ServerStarted());
    return e.what();
  }
  ADD_FAILURE() << "start-up succeeded in " << gameDir;
  return "";
}

TEST_F(ServerTest, AWrongGameDirectoryIsLeftAsItWas) {
  WriteFile(dir_ / "notes.txt", "an unrelated directory");
  EXPECT_NE(StartError(view_, dir_.Path()).find("holds no STATIC directory"), std::string::npos);
  EXPECT_TRUE(view_.lines.empty());
  EXPECT_EQ(Listing(dir_.Path()), std::set<std::string>{"notes.txt"});  // no log, no SRVDAT
}

TEST_F(ServerTest, AFailedFirstStartLeavesNoDataDirectoryAndTheNextBuildsIt) {
  mkworld::WriteInstallation(dir_.Path());
  const std::string archive = ReadFile(dir_ / "STATIC/INITGAME.DAT");
  WriteFile(dir_ / "STATIC/INITGAME.DAT",
            mkworld::MakeFlex("cut", {mkworld::MakeNamedEntry("IDENTITY", "Q"),
                                      mkworld::MakeNamedEntry("..", "up")}));
  EXPECT_NE(StartError(view_, dir_.Path()).find("entry# 1"), std::string::npos);
  // The lock file stays, empty; no SRVDAT, no unpacking.
  EXPECT_EQ(Listing(dir_.Path()), (std::set<std::string>{"STATIC", "ZQOSRV.LOG", "zqosrv.lock"}));
  EXPECT_EQ(view_.extractions, 1);

  // What a killed start leaves is cleared by the next one, which then builds SRVDAT.
  WriteFile(dir_ / (std::string(UNPACKING_PREFIX) + "k1ll3d/IDENTITY"), "partial");
  WriteFile(dir_ / "STATIC/INITGAME.DAT", archive);
  view_.lines.clear();
  StartServer();
  EXPECT_EQ(CountLines("Removed 1 unfinished unpacking(s) of SRVDAT."), 1);
  EXPECT_EQ(CountLines("Building GameDat entries in "), 1);
  std::set<std::string> listing = Listing(dir_.Path());
  std::erase_if(listing, [](const std::string& name) { return name.starts_with("zqosrv.db"); });
  EXPECT_EQ(listing, (std::set<std::string>{"STATIC", "SRVDAT", "ZQOSRV.LOG", "zqosrv.lock"}));
  EXPECT_EQ(server_->Status().GameIdentity, "QUOREL7");
}

}  // namespace
}  // namespace zq::test
