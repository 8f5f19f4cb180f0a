// Resident memory of another process, from /proc/PID/status.
#pragma once

#include <optional>
#include <string_view>

namespace zq {

// The VmRSS line of a status text, in kB, or nothing.
std::optional<long> ParseVmRssKb(std::string_view statusText);
// The process's resident set in kB, or nothing when it cannot be read.
std::optional<long> ReadProcessRssKb(int pid);

}  // namespace zq
