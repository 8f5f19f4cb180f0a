#include "tools/soak/ProcessRss.h"

#include <fstream>
#include <iterator>
#include <string>

namespace zq {

std::optional<long> ParseVmRssKb(std::string_view statusText) {
  const std::size_t at = statusText.find("\nVmRSS:");
  if (at == std::string_view::npos) return std::nullopt;
  std::size_t i = at + 7;
  while (i < statusText.size() && (statusText[i] == ' ' || statusText[i] == '\t')) ++i;
  long kb = 0;
  const std::size_t digits = i;
  while (i < statusText.size() && statusText[i] >= '0' && statusText[i] <= '9')
    kb = kb * 10 + (statusText[i++] - '0');
  if (i == digits || statusText.substr(i, 3) != " kB") return std::nullopt;
  return kb;
}

std::optional<long> ReadProcessRssKb(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  if (!in) return std::nullopt;
  const std::string text(std::istreambuf_iterator<char>(in), {});
  return ParseVmRssKb(text);
}

}  // namespace zq
