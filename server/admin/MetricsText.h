// TMetricsText: writes metrics in the Prometheus text exposition format (version 0.0.4):
// each family's HELP and TYPE lines, then its samples with labels. Label values and help
// texts are escaped as the format wants. Any thread; one writer per text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Histogram.h"

namespace zq {

constexpr const char* METRICS_CONTENT_TYPE = "text/plain; version=0.0.4; charset=utf-8";

using TLabels = std::vector<std::pair<std::string, std::string>>;

class TMetricsText {
 public:
  // Begins a family; `type` is "counter", "gauge" or "histogram".
  void Family(std::string_view name, std::string_view type, std::string_view help);
  void Sample(std::string_view name, double value, const TLabels& labels = {});
  void Sample(std::string_view name, uint64_t value, const TLabels& labels = {});
  // A family of one sample without labels.
  template <typename T>
  void Single(std::string_view name, std::string_view type, std::string_view help, T value) {
    Family(name, type, help);
    Sample(name, value);
  }
  // A whole histogram family: name_bucket{le=...}, name_sum, name_count.
  void Histogram(std::string_view name, std::string_view help,
                 const TDurationHistogram::TSnapshot& histogram);

  const std::string& Text() const { return text_; }

  // A number as the format writes it: shortest round trip, "+Inf", "NaN".
  static std::string Number(double value);

 private:
  void Name(std::string_view name, const TLabels& labels);

  std::string text_;
};

}  // namespace zq
