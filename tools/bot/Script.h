// Bot scripts: a small line-based language of actions and expectations (docs/BOT.md). This
// module reads a script into steps, checking all it can before a run (commands, message and
// field names, argument counts and numbers), and builds the frames that `send` lines ask for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/client/ServerMessages.h"

namespace zq {

enum class ScriptOp : uint8_t {
  Connect,       // connect [NAME]
  Use,           // use NAME
  Close,         // close
  Send,          // send [tcp|udp] MESSAGE ARGS... | send [tcp|udp] raw HEX...
  Join,          // join [NAME [PASSWORD [CODE]]]
  Expect,        // expect [tcp|udp] MESSAGE [FIELD=VALUE]... [within MS]
  ExpectNo,      // expect no [tcp|udp] MESSAGE [FIELD=VALUE]... [within MS]
  ExpectClosed,  // expect closed [within MS]
  Wait,          // wait MS
  Clear,         // clear
  Beats,         // beats on|off
  Timeout,       // timeout MS
};

// A word of a script line after quotes are removed; `$name` (unquoted) names a variable.
struct TScriptArg {
  std::string Text;
  bool Variable = false;
};

struct TFieldMatch {
  enum class Kind : uint8_t { Equal, Variable, Capture };
  std::string Field;
  std::string Value;  // the text to compare, or the variable's name
  Kind How = Kind::Equal;
};

struct TScriptStep {
  int Line = 0;
  ScriptOp Op = ScriptOp::Wait;
  std::string Client;                // Connect, Use
  std::optional<Via> Transport;      // Send, Expect, ExpectNo; none: either
  std::string Message;               // Send: client message or "raw"; Expect: server message
  std::vector<TScriptArg> Args;      // Send, Join
  std::vector<TFieldMatch> Matches;  // Expect, ExpectNo
  std::optional<int> Ms;             // Expect* (within), Wait, Timeout
  bool On = true;                    // Beats
};

struct TScript {
  std::vector<TScriptStep> Steps;
};

constexpr int SCRIPT_MAX_MS = 600000;

// Throws EConvertError "line N: ..." for the first line that is wrong. `firstClient` names the
// client of a bare `connect`.
TScript ParseScript(std::string_view text, const std::string& firstClient);
// The whole file; EInOutError naming it when it cannot be read.
std::string ReadScriptFile(const std::string& path);

// The frame that `send MESSAGE ARGS` stands for, with variables already replaced;
// `ownUdpPort` is what a ClientUDPPort without a port announces. On a bad argument returns
// nothing and sets `error`.
std::optional<std::string> ScriptFrame(const std::string& message,
                                       const std::vector<std::string>& args, uint16_t ownUdpPort,
                                       std::string& error);

}  // namespace zq
