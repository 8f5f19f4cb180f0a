// TLogFileWriter: appends "<date> <time> <message>" lines (CR LF ended) to the log file,
// opening and closing it for every line, then hands the stamped line to the callback. Control
// characters in the message are written escaped ("\x0D"), so no message forges a line. The
// file is created readable by its owner and group only (0640, less what the umask takes), and
// a descriptor is held in reserve for it, so that a process out of descriptors still logs.
// Main thread only.
#pragma once

#include <functional>
#include <string>

#include "platform/Descriptors.h"

namespace zq {

class TLogFileWriter {
 public:
  using LineCallback = std::function<void(const std::string&)>;

  // The file lies in the process's current directory. Creates it empty when missing and
  // never truncates it; raises EInOutError when it cannot be created.
  explicit TLogFileWriter(const std::string& fileName);

  void SetCallback(LineCallback callback) { lineCallback_ = std::move(callback); }
  // Raises EInOutError when the line cannot be appended; the callback then is not called.
  void WriteLine(const std::string& message);
  const std::string& LogPath() const { return logPath_; }

  // Date and time texts in the locale's short date and long time forms (%x, %X).
  static std::string DateText();
  static std::string TimeText();

 private:
  // Opens the file for appending (creating it), with the reserve when out of descriptors.
  int Open();

  LineCallback lineCallback_;
  std::string logPath_;
  TDescriptorReserve reserve_;
};

}  // namespace zq
