#include "server/ServerCounters.h"

namespace zq {

std::string ReasonsHelp(std::string_view lead, const TReasonRow* rows, std::size_t count) {
  std::string help(lead);
  help += ", by reason (";
  for (std::size_t i = 0; i < count; ++i) {
    if (i) help += "; ";
    help.append(rows[i].Label).append(": ").append(rows[i].Words);
  }
  help += ").";
  return help;
}

}  // namespace zq
