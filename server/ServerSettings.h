// The settings the start sequence reads: from the window's fields or from the command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "accounts/LoginCheck.h"
#include "log/LogFileWriter.h"
#include "platform/LogLevel.h"
#include "protocol/ClientMessages.h"
#include "protocol/MessageCodes.h"

namespace zq {

constexpr const char* VersionString = "0.1.1";
constexpr uint32_t DEFAULT_SETUP_TIMEOUT_MS = 30 * 1000;
constexpr const char* DEFAULT_LOG_FILE = "ZQOSRV.LOG";
constexpr const char* NO_LOG_FILE = "none";  // as the log file: none, the journal is enough
constexpr const char* DEFAULT_LISTEN_ADDRESS = "0.0.0.0";  // every IPv4 address

struct TServerSettings {
  std::string GameDirectory;  // the chosen installation directory
  // The log; a relative path lies in the game directory.
  std::string LogFile = DEFAULT_LOG_FILE;
  // The lowest level of the lines logged (log_level: debug, info or warning), and how the log
  // file writes dates (log_dates: the locale's form, or iso).
  TLogLevel LogLevel = TLogLevel::Info;
  TLogDates LogDates = TLogDates::Locale;
  std::string ServerName = "MyServer";
  // Where the listener and the UDP endpoints bind: an IPv4 or IPv6 address.
  std::string ListenAddress = DEFAULT_LISTEN_ADDRESS;
  uint16_t TcpPort = TCP_LISTEN_PORT;                                   // 0: any free port (tests)
  std::string BaseUdpPortText = std::to_string(DEFAULT_BASE_UDP_PORT);  // an integer, low 16 bits
  int32_t MaxClients = 32;
  int32_t SpawnX = 1560;
  int32_t SpawnY = 1921;
  // A connection must have announced its UDP port and started the game within this time of
  // its admission, or it is closed; 0 switches the deadline off.
  uint32_t SetupTimeoutMs = DEFAULT_SETUP_TIMEOUT_MS;
  // Connections admitted at once from one IP address; 0: no limit.
  uint32_t MaxPerAddress = 0;
  // Game messages a second per connection (bursts up to twice as many); 0: no limit.
  uint32_t MaxMessageRate = DEFAULT_MAX_MESSAGE_RATE;
  // How logins are checked, and the accounts file (empty: zqosrv.db in the game directory;
  // a relative path is taken from the game directory).
  TAuthMode Auth = TAuthMode::Open;
  std::string AccountsFile;
  // The admin API (configuration keys admin_listen, admin_token, admin_proxy):
  // "ADDRESS:PORT" to listen on, empty for none; the token, empty for the token file's; the
  // address of a proxy in front whose X-Forwarded-For names the client, empty for none.
  std::string AdminListen;
  std::string AdminToken;
  std::string AdminProxy;

  // The base UDP port of settings that CheckSettings (SettingsTable.h) passed.
  uint16_t BaseUdpPort() const;
};

// The base UDP port a text gives (its low 16 bits); raises EConvertError, in the words
// "<what>: '<text>' ..." , when it is no integer or when base + n is port 0 for a client n.
uint16_t BaseUdpPortOf(const std::string& text, const std::string& what);

// A TCP port from its text: an integer from 0 to 65535 (0: any free port); raises
// EConvertError in the words "<what>: '<text>' ..." otherwise.
uint16_t TcpPortOf(const std::string& text, const std::string& what);

// Raises EConvertError, naming both, when the TCP port lies in the UDP range base+1..base+63.
void CheckPortsApart(uint16_t tcpPort, uint16_t baseUdpPort);

// An address to listen on, IPv4 or IPv6, as given; raises EConvertError otherwise.
std::string ListenAddressOf(const std::string& text, const std::string& what);
// A log file's path ("none": no file); raises EConvertError when it is empty.
std::string LogFileOf(const std::string& text, const std::string& what);

// Whole numbers by the integer rule (StrToInt): any, or 0 and above; raise EConvertError in
// the words "<what>: '<text>' ...".
int32_t IntegerOf(const std::string& text, const std::string& what);
uint32_t CountOf(const std::string& text, const std::string& what);
// The setup deadline from its text in seconds (0 to a day), in milliseconds; and the check
// of one in milliseconds, in the same words.
uint32_t SetupTimeoutOf(const std::string& text, const std::string& what);
void CheckSetupTimeout(uint32_t ms, const std::string& what);

// Raises EConvertError when the server name is too long for the Welcome message's length.
void CheckServerName(const std::string& name, const std::string& what);

// Warnings for values that are taken as they are but will surprise an operator: a maximum of
// clients of 0 or above 63, spawn coordinates outside 0..65535. One line each.
std::vector<std::string> SettingWarnings(const TServerSettings& settings);

}  // namespace zq
