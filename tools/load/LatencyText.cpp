#include "tools/load/LatencyText.h"

#include <cstdio>

namespace zq {

std::string LatencyText(const THistogram& micros) {
  char text[128];
  std::snprintf(text, sizeof text, "p50 %.3f ms, p99 %.3f ms, max %.3f ms",
                static_cast<double>(micros.Percentile(0.5)) / 1000.0,
                static_cast<double>(micros.Percentile(0.99)) / 1000.0,
                static_cast<double>(micros.Max()) / 1000.0);
  return text;
}

}  // namespace zq
