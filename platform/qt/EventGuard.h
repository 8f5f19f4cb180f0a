// Runs the server's event handlers from Qt slots: an exception escaping a handler is reported
// (by default as a console line; the window installs a reporter that shows it to the operator)
// and the event loop goes on. Main thread only.
#pragma once

#include <functional>
#include <string>

namespace zq {

using EventErrorReporter = std::function<void(const std::string& text)>;

// Replaces the reporter (nullptr restores the console line).
void SetEventErrorReporter(EventErrorReporter reporter);

// Reports `text` through the installed reporter.
void ReportEventError(const std::string& text);

// Calls `handler`; an exception it throws is reported, naming `event`, and swallowed.
void RunGuarded(const char* event, const std::function<void()>& handler);

}  // namespace zq
