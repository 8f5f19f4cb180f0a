#include "server/ServerSettings.h"

#include "platform/Errors.h"
#include "platform/StrToInt.h"
#include "protocol/MessageCodec.h"
#include "protocol/SocketTable.h"

namespace zq {
namespace {

constexpr std::size_t MAX_PAYLOAD = 0xFFFF;  // a message's 16-bit length

}  // namespace

uint16_t BaseUdpPortOf(const std::string& text, const std::string& what) {
  int32_t value;
  try {
    value = StrToInt(text);
  } catch (const EConvertError&) {
    throw EConvertError(what + ": '" + text + "' is not an integer");
  }
  const auto base = static_cast<uint16_t>(value);
  for (int32_t n = 1; n <= MAX_SOCKETS; ++n)
    if (static_cast<uint16_t>(base + n) == 0)
      throw EConvertError(what + ": '" + text + "' gives client " + std::to_string(n) +
                          " the UDP port 0 (base + " + std::to_string(n) + " wraps to 0)");
  return base;
}

uint16_t TcpPortOf(const std::string& text, const std::string& what) {
  int32_t value;
  try {
    value = StrToInt(text);
  } catch (const EConvertError&) {
    throw EConvertError(what + ": '" + text + "' is not an integer");
  }
  if (value < 0 || value > 0xFFFF)
    throw EConvertError(what + ": '" + text + "' is not a port (0 to 65535)");
  return static_cast<uint16_t>(value);
}

void CheckServerName(const std::string& name, const std::string& what) {
  const std::size_t room = MAX_PAYLOAD - EncodeWelcome("").size();
  if (name.size() > room)
    throw EConvertError(what + ": " + std::to_string(name.size()) + " bytes is more than the " +
                        std::to_string(room) + " a welcome message can carry");
}

std::vector<std::string> SettingWarnings(const TServerSettings& s) {
  std::vector<std::string> lines;
  if (s.MaxClients <= 0)
    lines.push_back("--max-clients " + std::to_string(s.MaxClients) +
                    ": no client is admitted until the maximum is raised");
  if (s.MaxClients > MAX_SOCKETS)
    lines.push_back("--max-clients " + std::to_string(s.MaxClients) + ": at most " +
                    std::to_string(MAX_SOCKETS) + " clients can be connected at once");
  auto spawn = [&](const char* flag, int32_t value) {
    if (value < 0 || value > 0xFFFF)
      lines.push_back(std::string(flag) + " " + std::to_string(value) +
                      ": its low 16 bits are used, " +
                      std::to_string(static_cast<uint16_t>(value)));
  };
  spawn("--spawn-x", s.SpawnX);
  spawn("--spawn-y", s.SpawnY);
  return lines;
}

}  // namespace zq
