// Error types raised across the server: internal checks, file I/O and conversions.
#pragma once

#include <stdexcept>
#include <string>

namespace zq {

// A broken invariant: carries the fixed message and the name of the module that checked it.
class EInternalCheck : public std::runtime_error {
 public:
  EInternalCheck(const std::string& message, std::string module)
      : std::runtime_error(message), module_(std::move(module)) {}
  const std::string& Module() const { return module_; }

 private:
  std::string module_;
};

// A failed file operation; the text names the file and what went wrong.
class EInOutError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A setting whose text is not a valid value.
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A stop was asked for (a signal, the window closing) while the start sequence ran; the
// sequence ends at its next step, and nothing is wrong.
class EStopRequested : public std::runtime_error {
 public:
  EStopRequested() : std::runtime_error("Start-up stopped on request") {}
};

[[noreturn]] inline void InternalCheckFailed(const std::string& message,
                                             const std::string& module) {
  throw EInternalCheck(message, module);
}

}  // namespace zq
