// GetTickCount: 32-bit milliseconds of a monotonic clock, wrapping; replaceable in tests.
#pragma once

#include <cstdint>

namespace zq {

using TickSource = uint32_t (*)();

uint32_t GetTickCount();

// Installs another source of ticks (nullptr restores the monotonic clock).
// Set it before worker threads start; it is read from every thread.
void SetTickSource(TickSource source);

}  // namespace zq
