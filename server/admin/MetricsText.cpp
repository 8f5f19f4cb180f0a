#include "server/admin/MetricsText.h"

#include <charconv>
#include <cmath>

namespace zq {
namespace {

// Help: backslash and line feed escaped; label values: double quote as well.
std::string Escaped(std::string_view text, bool quote) {
  std::string out;
  for (char c : text) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\n')
      out += "\\n";
    else if (c == '"' && quote)
      out += "\\\"";
    else
      out += c;
  }
  return out;
}

}  // namespace

std::string TMetricsText::Number(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
  char buffer[32];
  auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, r.ptr);
}

void TMetricsText::Family(std::string_view name, std::string_view type, std::string_view help) {
  text_.append("# HELP ").append(name).append(" ").append(Escaped(help, false)).append("\n");
  text_.append("# TYPE ").append(name).append(" ").append(type).append("\n");
}

void TMetricsText::Name(std::string_view name, const TLabels& labels) {
  text_.append(name);
  if (labels.empty()) return;
  text_ += '{';
  for (std::size_t i = 0; i < labels.size(); ++i) {
    if (i) text_ += ',';
    text_.append(labels[i].first).append("=\"").append(Escaped(labels[i].second, true)) += '"';
  }
  text_ += '}';
}

void TMetricsText::Sample(std::string_view name, double value, const TLabels& labels) {
  Name(name, labels);
  text_.append(" ").append(Number(value)).append("\n");
}

void TMetricsText::Sample(std::string_view name, uint64_t value, const TLabels& labels) {
  Name(name, labels);
  text_.append(" ").append(std::to_string(value)).append("\n");
}

void TMetricsText::Histogram(std::string_view name, std::string_view help,
                             const TDurationHistogram::TSnapshot& histogram) {
  Family(name, "histogram", help);
  const std::string base(name);
  for (std::size_t i = 0; i < histogram.Bounds.size(); ++i)
    Sample(base + "_bucket", histogram.Counts[i], {{"le", Number(histogram.Bounds[i])}});
  Sample(base + "_bucket", histogram.Count, {{"le", "+Inf"}});
  Sample(base + "_sum", histogram.SumSeconds);
  Sample(base + "_count", histogram.Count);
}

}  // namespace zq
