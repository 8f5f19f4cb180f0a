// The message tables of the three codecs agree: the server's (protocol/MessageCodes), the
// client library's (WireFormat) and the Wireshark dissector's (contrib/wireshark/zqo.lua, read
// from its text). The codecs stay apart on purpose; only their tables are compared, so that a
// code added to one of them alone, a name spelt two ways, a type filed under the other
// direction or a type sent by UDP that is not the server's fails here.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "protocol/MessageCodes.h"
#include "tools/client/WireFormat.h"

namespace zq {
namespace {

enum class TWay { ToServer, ToClient };

struct TEntry {
  std::string Name;
  TWay Way = TWay::ToServer;
};

using TTable = std::map<int, TEntry>;  // by message code

std::string Code(int code) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", code);
  return text;
}

// The server names types without a direction.
std::map<int, std::string> ServerNames() {
  std::map<int, std::string> names;
  for (int code = 0; code < 256; ++code)
    if (const char* name = MsgTypeName(MsgType(static_cast<uint8_t>(code)))) names[code] = name;
  return names;
}

TTable ClientLibraryTable() {
  TTable table;
  for (int code = 0; code < 256; ++code) {
    const uint32_t type = wire::Type(static_cast<uint8_t>(code));
    const char* up = wire::TypeName(type, wire::Direction::ToServer);
    const char* down = wire::TypeName(type, wire::Direction::ToClient);
    EXPECT_FALSE(up && down) << Code(code) << " is named in both directions";
    if (up) table[code] = {up, TWay::ToServer};
    if (down) table[code] = {down, TWay::ToClient};
  }
  return table;
}

// The entries of `local to_server = {` and `local to_client = {`, each beginning on a line of
// its own (`  [0x07] = {"SetClientCode", ...`), up to the `}` that closes the table at the
// start of a line. A code given twice (Lua keeps the last) is an error.
TTable DissectorTable(const std::string& path) {
  std::ifstream in(path);
  EXPECT_TRUE(in) << "cannot read " << path;
  const std::regex entry(R"(^\s*\[0x([0-9A-Fa-f]{2})\]\s*=\s*\{\s*"([^"]*)\")");
  TTable table;
  bool inTable = false;
  TWay way = TWay::ToServer;
  int tables = 0;
  for (std::string line; std::getline(in, line);) {
    if (line == "local to_server = {" || line == "local to_client = {") {
      way = line == "local to_server = {" ? TWay::ToServer : TWay::ToClient;
      inTable = true;
      ++tables;
      continue;
    }
    if (!inTable) continue;
    if (line.rfind('}', 0) == 0) {
      inTable = false;
      continue;
    }
    std::smatch m;
    if (!std::regex_search(line, m, entry)) continue;
    const int code = std::stoi(m[1].str(), nullptr, 16);
    EXPECT_FALSE(table.count(code)) << Code(code) << " twice in " << path;
    table[code] = {m[2].str(), way};
  }
  EXPECT_EQ(tables, 2) << "the dissector's two tables in " << path;
  EXPECT_FALSE(inTable) << "a table left open in " << path;
  return table;
}

const char* WayName(TWay way) {
  return way == TWay::ToServer ? "to server" : "to client";
}

class MessageTables : public testing::Test {
 protected:
  std::map<int, std::string> server = ServerNames();
  TTable library = ClientLibraryTable();
  TTable dissector = DissectorTable(ZQ_SOURCE_DIR "/contrib/wireshark/zqo.lua");
};

TEST_F(MessageTables, EveryCodeHasTheSameNameInAllThree) {
  ASSERT_FALSE(server.empty());
  ASSERT_FALSE(dissector.empty());
  std::map<int, bool> codes;
  for (const auto& [code, name] : server) codes[code] = true;
  for (const auto& [code, e] : library) codes[code] = true;
  for (const auto& [code, e] : dissector) codes[code] = true;
  for (const auto& [code, unused] : codes) {
    auto nameIn = [&](const TTable& table) {
      auto it = table.find(code);
      return it == table.end() ? std::string("(none)") : it->second.Name;
    };
    const std::string ours = server.count(code) ? server.at(code) : "(none)";
    EXPECT_TRUE(ours == nameIn(library) && ours == nameIn(dissector))
        << Code(code) << ": server " << ours << ", client library " << nameIn(library)
        << ", dissector " << nameIn(dissector);
  }
}

TEST_F(MessageTables, DirectionsAgreeAndOnlyServerMessagesGoByUdp) {
  for (const auto& [code, e] : library) {
    const uint32_t type = wire::Type(static_cast<uint8_t>(code));
    const auto direction =
        e.Way == TWay::ToServer ? wire::Direction::ToServer : wire::Direction::ToClient;
    EXPECT_EQ(wire::TypeByName(e.Name, direction), type) << e.Name;
    auto it = dissector.find(code);
    if (it == dissector.end()) continue;  // reported by the names' test
    EXPECT_STREQ(WayName(it->second.Way), WayName(e.Way))
        << Code(code) << " " << e.Name << ": the dissector's, then the client library's";
  }
  // The dispatch thread's UDP types are messages to clients, which both readers know as such.
  int udp = 0;
  for (int code = 0; code < 256; ++code) {
    if (!IsUdpType(MsgType(static_cast<uint8_t>(code)))) continue;
    ++udp;
    for (const TTable* table : {&library, &dissector}) {
      auto it = table->find(code);
      EXPECT_TRUE(it != table->end() && it->second.Way == TWay::ToClient)
          << Code(code) << " goes by UDP but is not a message to clients in "
          << (table == &library ? "the client library" : "the dissector");
    }
  }
  EXPECT_GT(udp, 0);
}

}  // namespace
}  // namespace zq
