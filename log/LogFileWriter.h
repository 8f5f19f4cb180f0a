// TLogFileWriter: appends "<date> <time> <message>" lines (CR LF ended) to the log file,
// opening and closing it for every line, then hands the stamped line to the callback. The
// date is the locale's short form, or ISO 8601 ("2026-12-09 22:56:04") when asked. Control
// characters in the message are written escaped ("\x0D"), so no message forges a line. The
// file is created readable by its owner and group only (0640, less what the umask takes), and
// a descriptor is held in reserve for it, so that a process out of descriptors still logs.
// Main thread only.
#pragma once

#include <functional>
#include <string>

#include "platform/Descriptors.h"

namespace zq {

// How a line's date and time are written: the locale's forms (%x %X), or "%Y-%m-%d %H:%M:%S".
enum class TLogDates { Locale, Iso };

class TLogFileWriter {
 public:
  using LineCallback = std::function<void(const std::string&)>;

  // The file lies in the process's current directory. Creates it empty when missing and
  // never truncates it; raises EInOutError when it cannot be created.
  explicit TLogFileWriter(const std::string& fileName);

  void SetCallback(LineCallback callback) { lineCallback_ = std::move(callback); }
  void SetDates(TLogDates dates) { dates_ = dates; }
  // Raises EInOutError when the line cannot be appended; the callback then is not called.
  void WriteLine(const std::string& message);
  // Appends a stamped line (control characters escaped already), without calling the callback;
  // raises as WriteLine.
  void AppendLine(const std::string& line);
  const std::string& LogPath() const { return logPath_; }

  // "<date> <time>" now, as a line begins.
  static std::string StampText(TLogDates dates);

 private:
  // Opens the file for appending (creating it), with the reserve when out of descriptors.
  int Open();

  LineCallback lineCallback_;
  TLogDates dates_ = TLogDates::Locale;
  std::string logPath_;
  TDescriptorReserve reserve_;
};

}  // namespace zq
