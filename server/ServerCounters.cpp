#include "server/ServerCounters.h"

#include <algorithm>

namespace zq {

std::string ReasonLabel(const std::string& words) {
  std::string label = words;
  std::replace(label.begin(), label.end(), ' ', '_');
  return label;
}

}  // namespace zq
