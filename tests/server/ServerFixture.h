// An in-process server on a generated world, listening on a free TCP port, and loopback
// clients driven on the same thread: every wait pumps the server's event loop.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>
#include <string>
#include <vector>

#include "server/ZQOSrv.h"
#include "tests/support/TempDir.h"
#include "tests/support/UdpPortRange.h"
#include "tools/client/ZQClient.h"
#include "tools/mkworld/WorldGen.h"

namespace zq::test {

QCoreApplication& TestApp();

// Records what the server shows.
class TRecordingView : public IServerView {
 public:
  void AppendToView(const std::string& line) override { lines.push_back(line); }
  IExtractProgress& ShowExtractionProgress(const std::string&, const std::string&) override {
    ++extractions;
    return progress;
  }
  void ShowStatus(const std::string& connected, const std::string& peak) override {
    status = connected;
    peakStatus = peak;
  }
  std::vector<std::string> lines;
  std::string status, peakStatus;
  int extractions = 0;
  TNullProgress progress;
};

class ServerTest : public ::testing::Test {
 protected:
  ServerTest();
  ~ServerTest() override;

  // Writes the world (once) and starts a server on it with settings_ (its game directory and
  // UDP range are the fixture's).
  void StartServer(const mkworld::WorldOptions& world = {}, TServerOptions options = {});
  void Pump();  // lets the server handle what is pending

  // A connected client, greeted, and (with `join`) through the dialogue and in the game.
  TZQClient& Connect(bool answerBeats = true);
  TZQClient& Connect(const TClientConfig& config);
  TZQClient& Join(const std::string& name, bool answerBeats = true);
  // A client of the server at host:port (another one, perhaps), through the dialogue.
  TZQClient& JoinAt(const std::string& host, uint16_t port, const std::string& name);

  // Waits until `done` holds, pumping the server and polling every client (bounded).
  bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000);

  // Index of the first log line ending in " " + message, or -1.
  int LineIndex(const std::string& message) const;
  int CountLines(const std::string& prefix) const;  // lines whose message starts with prefix
  std::vector<std::string> Messages() const;        // log lines as written
  // The text of the ServerFull the client got, once its connection has closed.
  std::string RefusalOf(TZQClient& c);

  uint16_t BaseUdpPort() const { return udpRange_.Base(); }

  TempDir dir_;
  TServerSettings settings_;
  TRecordingView view_;
  std::unique_ptr<TZQOServer> server_;
  std::vector<std::unique_ptr<TZQClient>> clients_;
  PumpHook pump_;

 private:
  bool worldWritten_ = false;
  TUdpPortRange udpRange_;
};

}  // namespace zq::test
