#include "server/ServerSettings.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include "platform/Errors.h"
#include "platform/StrToInt.h"
#include "protocol/MessageCodec.h"
#include "protocol/SocketTable.h"

namespace zq {
namespace {

constexpr std::size_t MAX_PAYLOAD = 0xFFFF;  // a message's 16-bit length
constexpr uint32_t MAX_SETUP_TIMEOUT_S = 24 * 3600;

EConvertError MoreThanADay(const std::string& text, const std::string& what) {
  return EConvertError(what + ": '" + text + "' is more than a day");
}

}  // namespace

uint16_t BaseUdpPortOf(const std::string& text, const std::string& what) {
  const int32_t value = IntegerOf(text, what);
  const auto base = static_cast<uint16_t>(value);
  for (int32_t n = 1; n <= MAX_SOCKETS; ++n)
    if (static_cast<uint16_t>(base + n) == 0)
      throw EConvertError(what + ": '" + text + "' gives client " + std::to_string(n) +
                          " the UDP port 0 (base + " + std::to_string(n) + " wraps to 0)");
  return base;
}

uint16_t TcpPortOf(const std::string& text, const std::string& what) {
  const int32_t value = IntegerOf(text, what);
  if (value < 0 || value > 0xFFFF)
    throw EConvertError(what + ": '" + text + "' is not a port (0 to 65535)");
  return static_cast<uint16_t>(value);
}

void CheckPortsApart(uint16_t tcpPort, uint16_t baseUdpPort) {
  const auto n = static_cast<uint16_t>(tcpPort - baseUdpPort);  // the client it would be
  if (tcpPort != 0 && n >= 1 && n <= MAX_SOCKETS)
    throw EConvertError("TCP port " + std::to_string(tcpPort) + " lies in the UDP range " +
                        std::to_string(static_cast<uint16_t>(baseUdpPort + 1)) + ".." +
                        std::to_string(static_cast<uint16_t>(baseUdpPort + MAX_SOCKETS)) +
                        " of base UDP port " + std::to_string(baseUdpPort) +
                        " (client n uses base + n)");
}

std::string ListenAddressOf(const std::string& text, const std::string& what) {
  in6_addr v6{};
  in_addr v4{};
  if (inet_pton(AF_INET, text.c_str(), &v4) != 1 && inet_pton(AF_INET6, text.c_str(), &v6) != 1)
    throw EConvertError(what + ": '" + text + "' is not an IPv4 or IPv6 address");
  return text;
}

std::string LogFileOf(const std::string& text, const std::string& what) {
  if (text.empty()) throw EConvertError(what + ": '' names no file");
  return text;
}

int32_t IntegerOf(const std::string& text, const std::string& what) {
  try {
    return StrToInt(text);
  } catch (const EConvertError&) {
    throw EConvertError(what + ": '" + text + "' is not an integer");
  }
}

uint32_t CountOf(const std::string& text, const std::string& what) {
  const int32_t value = IntegerOf(text, what);
  if (value < 0) throw EConvertError(what + ": '" + text + "' is below 0");
  return static_cast<uint32_t>(value);
}

uint32_t SetupTimeoutOf(const std::string& text, const std::string& what) {
  const uint32_t seconds = CountOf(text, what);
  if (seconds > MAX_SETUP_TIMEOUT_S) throw MoreThanADay(text, what);
  return seconds * 1000;
}

void CheckSetupTimeout(uint32_t ms, const std::string& what) {
  if (ms > MAX_SETUP_TIMEOUT_S * 1000) throw MoreThanADay(std::to_string(ms / 1000), what);
}

uint16_t TServerSettings::BaseUdpPort() const {
  return static_cast<uint16_t>(StrToInt(BaseUdpPortText));
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
