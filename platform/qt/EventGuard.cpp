#include "platform/qt/EventGuard.h"

#include <exception>

#include "platform/Console.h"
#include "platform/Errors.h"

namespace zq {
namespace {

EventErrorReporter& Reporter() {
  static EventErrorReporter reporter;
  return reporter;
}

}  // namespace

void SetEventErrorReporter(EventErrorReporter reporter) {
  Reporter() = std::move(reporter);
}

void ReportEventError(const std::string& text) {
  if (Reporter()) {
    Reporter()(text);
  } else {
    ConsoleLine(TLogLevel::Error, text);
  }
}

void RunGuarded(const char* event, const std::function<void()>& handler) {
  try {
    handler();
  } catch (const EInternalCheck& e) {
    ReportEventError(std::string(e.what()) + " in " + e.Module() + " (" + event + ")");
  } catch (const std::exception& e) {
    ReportEventError(std::string(e.what()) + " (" + event + ")");
  } catch (...) {
    ReportEventError(std::string("Unknown exception (") + event + ")");
  }
}

}  // namespace zq
