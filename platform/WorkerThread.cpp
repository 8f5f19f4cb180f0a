#include "platform/WorkerThread.h"

#include <exception>

#include "platform/Console.h"
#include "platform/Errors.h"

namespace zq {

TThread::~TThread() {
  // Owners end the thread with Terminate and WaitFor first; this is the last resort.
  if (thread_.joinable()) {
    Terminate();
    WaitFor();
  }
}

void TThread::Start() {
  thread_ = std::thread(&TThread::Run, this);
}

void TThread::Run() {
  try {
    Execute();
  } catch (const EInternalCheck& e) {
    ConsoleLine(TLogLevel::Error,
                std::string("Thread ended by internal check: ") + e.what() + " in " + e.Module());
  } catch (const std::exception& e) {
    ConsoleLine(TLogLevel::Error, std::string("Thread ended by error: ") + e.what());
  }
  finished_.store(true);
  main_.Notify();
}

void TThread::WaitFor() {
  if (!thread_.joinable()) return;  // never started, or already waited for
  main_.ServeUntil([this] { return Finished(); });
  thread_.join();
}

}  // namespace zq
