// The settings the start sequence reads: from the window's fields or from the command line.
#pragma once

#include <cstdint>
#include <string>

namespace zq {

constexpr const char* VersionString = "0.1.1";
constexpr uint16_t TCP_LISTEN_PORT = 12578;

struct TServerSettings {
  std::string GameDirectory;  // the chosen installation directory
  std::string ServerName = "MyServer";
  std::string BaseUdpPortText = "28500";  // converted at start: an integer, low 16 bits used
  int32_t MaxClients = 32;
  int32_t SpawnX = 1560;
  int32_t SpawnY = 1921;
};

// Converts an integer text as the field does (optional sign, decimal digits, or "$" and hex
// digits); raises EConvertError naming the text otherwise.
int32_t StrToInt(const std::string& text);

}  // namespace zq
