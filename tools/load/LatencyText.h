// The latency summary every load program prints, from a histogram of microseconds:
// "p50 0.542 ms, p99 0.836 ms, max 4.516 ms". Any thread.
#pragma once

#include <string>

#include "platform/Histogram.h"

namespace zq {

std::string LatencyText(const THistogram& micros);

}  // namespace zq
