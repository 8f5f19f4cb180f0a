// Helpers for the window tests: one QApplication on the offscreen platform for the whole
// test program, a fixture with a generated installation in a temporary directory and a
// window on it (any free TCP port, a UDP range of its own), bounded event pumps, and loopback
// clients driven from the same thread.
#pragma once

#include <gtest/gtest.h>

#include <QWidget>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/WindowRun.h"
#include "gui/MainSrvForm.h"
#include "tests/support/TempDir.h"
#include "tests/support/UdpPortRange.h"
#include "tools/client/ZQClient.h"

namespace zq::test {

constexpr int WAIT_MS = 30000;

// Made on first use; destroyed when the test program's tests have ended.
void EnsureGuiApp();

// Runs the event loop (and `also`, if given) until `done` holds or `timeoutMs` pass.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = WAIT_MS,
               const std::function<void()>& also = {});

// The named child widget; raises when there is none.
template <typename T>
T& Child(QWidget& parent, const char* name) {
  T* child = parent.findChild<T*>(QString::fromLatin1(name));
  if (!child) throw std::runtime_error(std::string("no child widget ") + name);
  return *child;
}

// True when `lines` holds lines ending in each of `messages`, in that order.
bool EndsInOrder(const std::vector<std::string>& lines, const std::vector<std::string>& messages);
bool EndsWith(const std::string& text, const std::string& end);
// The lines of the window's log view.
std::vector<std::string> ViewLinesOf(TMainSrvForm& form);
bool AnyContains(const std::vector<std::string>& lines, const std::string& text);

class WindowTest : public ::testing::Test {
 protected:
  WindowTest();
  ~WindowTest() override;

  // Makes the window (and the application it drives) on the game directory (the installation
  // unless told otherwise), with `settings` beyond the fixture's.
  TMainSrvForm& MakeForm(std::string gameDir = {});
  TMainSrvForm& MakeForm(TServerSettings settings);
  // Start with the current fields; no error may be reported.
  void Start();
  // A client connected to the window's server and waited for its greeting (or refusal).
  TZQClient& Connect();
  // A client that runs the setup dialogue into the game.
  TZQClient& Join(const std::string& name);
  // Event loop plus every client's poll.
  void Pump();
  bool Until(const std::function<bool()>& done, int timeoutMs = WAIT_MS);
  std::vector<std::string> ViewLines();
  std::string ReadLog();

  TempDir dir_;
  std::string gameDir_;
  TUdpPortRange udpRange_;  // a UDP range of this test's own
  std::string baseUdpPort_;
  std::vector<std::string> errors_;
  std::vector<std::unique_ptr<TZQClient>> clients_;
  std::unique_ptr<TWindowApp> window_;
  TMainSrvForm* form_ = nullptr;

 private:
  std::string previousDir_;
};

}  // namespace zq::test
