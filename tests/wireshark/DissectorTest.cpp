// The Wireshark dissector (contrib/wireshark/zqo.lua) against a real session: zqo-bot runs a
// script against a server over loopback while tcpdump captures; tshark then decodes the
// capture with the dissector, and every message it shows must be one the bot's own trace
// shows, with the same type and fields. Needs root (for the capture), tcpdump and tshark.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

#include "tests/server/ServerFixture.h"

extern char** environ;

namespace zq::test {
namespace {

using Clock = std::chrono::steady_clock;

// Runs argv with stdout and stderr into files; returns the pid.
pid_t Spawn(const std::vector<std::string>& argv, const std::string& out, const std::string& err) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

bool OnPath(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// Waits (bounded) for `pid` to end, calling `between` meanwhile; returns its exit status or -1.
int WaitExit(pid_t pid, int timeoutMs, const std::function<void()>& between) {
  auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < until) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    between();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return -1;
}

// "client to server TCP" -> "LoginName Name=\"bot\"", in the order seen.
using TByWay = std::map<std::string, std::vector<std::string>>;

// The bot's trace: "12:00:01.250113 NAME -> TCP Type Field=Value ...".
TByWay ReadTrace(const std::string& text) {
  static const std::regex line(R"(^\d\d:\d\d:\d\d\.\d{6} \S+ (->|<-) (TCP|UDP) (.*)$)");
  TByWay m;
  std::istringstream in(text);
  std::smatch g;
  for (std::string l; std::getline(in, l);)
    if (std::regex_match(l, g, line))
      m[std::string(g[1] == "->" ? "client to server " : "server to client ") + g[2].str()]
          .push_back(g[3]);
  return m;
}

struct TDissected {
  TByWay Messages;
  std::vector<std::string> Experts;
};

// tshark -V -O zqo: "ZQO Name (direction, transport)" and its items, "    Field: value".
TDissected ReadTshark(const std::string& text) {
  static const std::regex head(R"(^ZQO (.*) \((client to server|server to client), (TCP|UDP)\)$)");
  static const std::regex stray(R"(^ZQO stray bytes \((\d+)\)$)");
  static const std::regex item(R"(^    ([A-Za-z]+): (.*)$)");
  static const std::regex expert(R"(\[Expert Info \([^)]*\): (.*)\]$)");
  static const std::regex shortPayload(R"(^\w+ needs \d+ payload bytes, got \d+$)");
  TDissected d;
  std::string key, name, fields, code = "00", byte2 = "00", malformed;
  bool open = false;
  auto finish = [&] {
    if (!open) return;
    std::string type = "0x" + code + byte2 + "0000";
    if (byte2 != "00" || name.rfind("Unknown", 0) == 0)
      d.Messages[key].push_back("Unknown type=" + type);
    else if (!malformed.empty())
      d.Messages[key].push_back("Malformed type=" + type + " " + malformed);
    else
      d.Messages[key].push_back(name + fields);
    open = false;
  };
  std::istringstream in(text);
  std::smatch g;
  for (std::string l; std::getline(in, l);) {
    if (std::regex_search(l, g, expert)) {
      d.Experts.push_back(g[1]);
      if (std::regex_match(d.Experts.back(), shortPayload)) malformed = d.Experts.back();
      continue;
    }
    if (std::regex_match(l, g, head)) {
      finish();
      open = true;
      name = g[1];
      key = g[2].str() + " " + g[3].str();
      fields.clear();
      malformed.clear();
      code = byte2 = "00";
    } else if (std::regex_match(l, g, stray)) {
      finish();
      // The datagram's direction is that of the message before it.
      d.Messages[key].push_back("Partial bytes=" + g[1].str());
    } else if (open && std::regex_match(l, g, item)) {
      std::string field = g[1], value = g[2];
      if (field == "Code") {
        code = value.substr(2, 2);
        std::transform(code.begin(), code.end(), code.begin(), ::toupper);
      } else if (field == "Length") {
      } else {
        fields += " " + field + "=" + value;
      }
    } else if (open && l.rfind("    Header byte 2: ", 0) == 0) {
      byte2 = l.substr(l.size() - 2);
      std::transform(byte2.begin(), byte2.end(), byte2.begin(), ::toupper);
    } else if (!l.empty() && l[0] != ' ') {
      finish();
    }
  }
  finish();
  return d;
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

class DissectorTest : public ServerTest {};

// A UDP socket on a loopback port of its own, which sends itself one datagram.
class TMarker {
 public:
  static constexpr const char* TEXT = "zq-capture-ends-here";
  TMarker() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof at;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&at), &length) != 0)
      return;
    at_ = at;
  }
  ~TMarker() {
    if (fd_ >= 0) ::close(fd_);
  }
  TMarker(const TMarker&) = delete;
  TMarker& operator=(const TMarker&) = delete;
  bool Bound() const { return at_.sin_port != 0; }
  uint16_t Port() const { return ntohs(at_.sin_port); }
  void Send() const {
    ::sendto(fd_, TEXT, std::strlen(TEXT), 0, reinterpret_cast<const sockaddr*>(&at_), sizeof at_);
  }

 private:
  int fd_ = -1;
  sockaddr_in at_{};
};

TEST_F(DissectorTest, DecodesEveryMessageOfABotSessionAsTheBotTracesIt) {
  if (geteuid() != 0) GTEST_SKIP() << "capturing on loopback needs root";
  ASSERT_TRUE(OnPath("tcpdump") && OnPath("tshark")) << "scripts/install-deps installs both";
  TServerOptions options;
  options.BeatInterval = 250;  // a few beats within the session
  StartServer({}, options);
  const std::string port = std::to_string(server_->Status().ListeningPort);
  const std::string base = std::to_string(BaseUdpPort());
  const std::string top = std::to_string(BaseUdpPort() + 63);

  WriteFile(dir_ / "session.txt", R"(# every message type the server sends, and some it drops
connect first
join first pw 5
expect StartPosition
connect second
join second pw 6
expect PlayerInfo ClientCode=5
use first
expect PlayerInfo ClientCode=6
send KeyDown 4 0 0 1
expect udp KeyDownAck Key=4 ClientValue=1
send udp KeyDown 6 1570 1915 2
expect udp PlayerMotion Facing=1
send KeyUp 6 0 0 3
expect udp KeyUpAck Key=6 ClientValue=3
send ClientSay "caf\xC3\xA9 \"quoted\" \\ done"
expect PlayerSpeech
send ClientSay ""
send raw 0300001C62
wait 100
send raw 6F74
expect PasswordPrompt
send raw 0100002C04
send raw 00000099
send raw 0E00012C0004000000000000000000000000
send udp raw 0000000BFF
expect IdentityReply
wait 600
send ClientGone
use second
expect PlayerLeft
)");
  // A datagram to a port of its own ends the capture: packets reach it in the order they
  // are sent, so once the marker is in the file every packet of the session is.
  TMarker marker;
  ASSERT_TRUE(marker.Bound());
  const std::string pcap = dir_ / "session.pcap";
  pid_t dump = Spawn({"tcpdump", "-i", "lo", "-U", "--immediate-mode", "-n", "-w", pcap,
                      "tcp port " + port + " or udp portrange " + base + "-" + top +
                          " or udp port " + std::to_string(marker.Port())},
                     dir_ / "tcpdump.out", dir_ / "tcpdump.err");
  ASSERT_GT(dump, 0);
  ASSERT_TRUE(WaitUntil(
      [&] { return ReadFile(dir_ / "tcpdump.err").find("listening on") != std::string::npos; },
      20000))
      << ReadFile(dir_ / "tcpdump.err");

  pid_t bot = Spawn({ZQ_BOT_PATH, "--port", port, "--script", dir_ / "session.txt", "--trace"},
                    dir_ / "trace.txt", dir_ / "bot.err");
  ASSERT_GT(bot, 0);
  int rc = WaitExit(bot, 60000, [&] { Pump(); });
  const std::string trace = ReadFile(dir_ / "trace.txt");
  EXPECT_EQ(rc, 0) << trace << ReadFile(dir_ / "bot.err");
  marker.Send();
  EXPECT_TRUE(
      WaitUntil([&] { return ReadFile(pcap).find(TMarker::TEXT) != std::string::npos; }, 20000));
  kill(dump, SIGINT);
  EXPECT_EQ(WaitExit(dump, 10000, [] {}), 0) << ReadFile(dir_ / "tcpdump.err");

  const std::string dissected = dir_ / "tshark.txt";
  pid_t shark =
      Spawn({"tshark", "-X", "lua_script:" ZQ_SOURCE_DIR "/contrib/wireshark/zqo.lua", "-o",
             "zqo.tcp_port:" + port, "-o", "zqo.udp_base:" + base, "-r", pcap, "-V", "-O", "zqo"},
            dissected, dir_ / "tshark.err");
  ASSERT_EQ(WaitExit(shark, 60000, [] {}), 0) << ReadFile(dir_ / "tshark.err");

  TByWay traced = ReadTrace(trace);
  TDissected seen = ReadTshark(ReadFile(dissected));
  for (const char* key : {"client to server TCP", "client to server UDP", "server to client TCP",
                          "server to client UDP"}) {
    std::vector<std::string> fromBot = traced[key], fromShark = seen.Messages[key];
    // The bot's trace leaves passwords out; the capture has them.
    for (std::string& message : fromShark)
      if (message.rfind("LoginPassword Password=", 0) == 0)
        message = "LoginPassword Password=(hidden)";
    // A beat, and the reply to the bot's last acknowledgement, may reach the wire after the
    // bot stopped reading.
    while (fromShark.size() > fromBot.size() && (fromShark.back().rfind("BEAT ", 0) == 0 ||
                                                 fromShark.back().rfind("BEATACKReply ", 0) == 0))
      fromShark.pop_back();
    EXPECT_EQ(Sorted(fromShark), Sorted(fromBot)) << key;
  }
  EXPECT_GE(traced["server to client UDP"].size(), 4u);  // motions, acks, beats
  auto experts = [&](const std::string& text) {
    return std::count_if(seen.Experts.begin(), seen.Experts.end(),
                         [&](const std::string& e) { return e.find(text) != std::string::npos; });
  };
  EXPECT_EQ(experts("KeyDown needs 14 payload bytes, got 1"), 1);
  EXPECT_EQ(experts("Unknown message type"), 1);
  EXPECT_EQ(experts("Header byte 2 is not 0"), 1);
  EXPECT_EQ(experts("not a whole message"), 1);
  for (const char* type :
       {"Welcome", "ServerVersion", "ConnectDone", "IdentityReply", "PasswordPrompt",
        "UDPPortAssign", "AssignGUID", "StartPosition", "PlayerInfo", "PlayerMotion", "KeyDownAck",
        "KeyUpAck", "PlayerSpeech", "PlayerLeft", "BEAT", "BEATACKReply"})
    EXPECT_NE(ReadFile(dissected).find("ZQO " + std::string(type) + " ("), std::string::npos)
        << type;
}

}  // namespace
}  // namespace zq::test
