#include "tools/bot/Script.h"

#include <cctype>
#include <fstream>
#include <sstream>

#include "platform/Errors.h"
#include "tools/cli/WholeNumber.h"
#include "tools/client/ClientMessages.h"
#include "tools/client/WireFormat.h"

namespace zq {
namespace {

struct TWord {
  std::string Text;
  bool Quoted = false;  // some of it stood in double quotes
};

[[noreturn]] void Fail(int line, const std::string& message) {
  throw EConvertError("line " + std::to_string(line) + ": " + message);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Words separated by blanks; "..." keeps blanks and knows \" \\ and \xHH; # starts a comment.
std::vector<TWord> SplitWords(std::string_view line, int number) {
  std::vector<TWord> words;
  TWord word;
  bool inWord = false, quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (quoted) {
      if (c == '"') {
        quoted = false;
      } else if (c == '\\' && i + 1 < line.size()) {
        char e = line[++i];
        if (e == 'x' && i + 2 < line.size() && HexDigit(line[i + 1]) >= 0 &&
            HexDigit(line[i + 2]) >= 0) {
          word.Text += static_cast<char>(HexDigit(line[i + 1]) * 16 + HexDigit(line[i + 2]));
          i += 2;
        } else if (e == '"' || e == '\\') {
          word.Text += e;
        } else {
          Fail(number, std::string("unknown escape \\") + e + " (use \\\" \\\\ or \\xHH)");
        }
      } else {
        word.Text += c;
      }
    } else if (c == ' ' || c == '\t' || c == '\r') {
      if (inWord) words.push_back(std::move(word));
      word = {};
      inWord = false;
    } else if (c == '#' && !inWord) {
      break;
    } else {
      inWord = true;
      if (c == '"') {
        quoted = true;
        word.Quoted = true;
      } else {
        word.Text += c;
      }
    }
  }
  if (quoted) Fail(number, "a double quote is not closed");
  if (inWord) words.push_back(std::move(word));
  return words;
}

int Milliseconds(const TWord& w, int line) {
  auto v = ParseWholeNumber(w.Text, 0, SCRIPT_MAX_MS);
  if (!v) Fail(line, "time: " + WholeNumberError(w.Text, 0, SCRIPT_MAX_MS) + " (ms)");
  return static_cast<int>(*v);
}

bool IsName(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-')) return false;
  return true;
}

TScriptArg Arg(const TWord& w) {
  if (!w.Quoted && w.Text.size() > 1 && w.Text[0] == '$') return {w.Text.substr(1), true};
  return {w.Text, false};
}

// The field names of a server message, from a decoded zero payload.
std::vector<std::string> FieldNames(uint32_t type) {
  std::vector<std::string> names;
  for (const TField& f : ServerMessageText(DecodeServerMessage(type, std::string(64, '\0'))).Fields)
    names.push_back(f.Name);
  return names;
}

std::string Join(const std::vector<std::string>& names) {
  std::string out;
  for (const auto& n : names) out += (out.empty() ? "" : " ") + n;
  return out;
}

// [tcp|udp] at `at`.
std::optional<Via> TakeTransport(const std::vector<TWord>& w, std::size_t& at) {
  if (at < w.size() && !w[at].Quoted && (w[at].Text == "tcp" || w[at].Text == "udp"))
    return w[at++].Text == "tcp" ? Via::Tcp : Via::Udp;
  return std::nullopt;
}

void ParseExpect(const std::vector<TWord>& w, TScriptStep& step) {
  std::size_t at = 1;
  std::size_t end = w.size();
  if (end >= 3 && w[end - 2].Text == "within" && !w[end - 2].Quoted) {
    step.Ms = Milliseconds(w[end - 1], step.Line);
    end -= 2;
  }
  if (at < end && w[at].Text == "closed" && !w[at].Quoted) {
    step.Op = ScriptOp::ExpectClosed;
    if (end != 2) Fail(step.Line, "expect closed takes nothing but [within MS]");
    return;
  }
  if (at < end && w[at].Text == "no" && !w[at].Quoted) {
    step.Op = ScriptOp::ExpectNo;
    ++at;
  }
  step.Transport = TakeTransport(w, at);
  if (at >= end) Fail(step.Line, "expect: which message?");
  step.Message = w[at++].Text;
  uint32_t type = wire::TypeByName(step.Message, wire::Direction::ToClient);
  if (type == 0) Fail(step.Line, "expect: '" + step.Message + "' is not a server message");
  std::vector<std::string> names = FieldNames(type);
  for (; at < end; ++at) {
    const std::string& t = w[at].Text;
    std::size_t eq = t.find('=');
    if (eq == std::string::npos || eq == 0)
      Fail(step.Line, "expect: '" + t + "' is not FIELD=VALUE (or 'within MS' at the end)");
    TFieldMatch m;
    m.Field = t.substr(0, eq);
    m.Value = t.substr(eq + 1);
    bool known = false;
    for (const auto& n : names) known = known || n == m.Field;
    if (!known)
      Fail(step.Line,
           step.Message + " has no field '" + m.Field + "' (fields: " + Join(names) + ")");
    // $name and ?name only where no quote made the value literal.
    if (!w[at].Quoted && m.Value.size() > 1 && (m.Value[0] == '$' || m.Value[0] == '?')) {
      m.How = m.Value[0] == '$' ? TFieldMatch::Kind::Variable : TFieldMatch::Kind::Capture;
      m.Value.erase(0, 1);
      if (!IsName(m.Value)) Fail(step.Line, "'" + m.Value + "' is not a variable name");
    }
    if (step.Op == ScriptOp::ExpectNo && m.How == TFieldMatch::Kind::Capture)
      Fail(step.Line, "expect no cannot capture ?" + m.Value);
    step.Matches.push_back(std::move(m));
  }
}

void ParseSend(const std::vector<TWord>& w, TScriptStep& step) {
  std::size_t at = 1;
  step.Transport = TakeTransport(w, at);
  if (!step.Transport) step.Transport = Via::Tcp;
  if (at >= w.size()) Fail(step.Line, "send: which message?");
  step.Message = w[at++].Text;
  std::vector<std::string> trial;
  for (; at < w.size(); ++at) {
    step.Args.push_back(Arg(w[at]));
    // A variable's value is known only when the line runs; "0" stands in for the check.
    trial.push_back(step.Args.back().Variable ? "0" : step.Args.back().Text);
  }
  std::string error;
  if (!ScriptFrame(step.Message, trial, 0, error))
    Fail(step.Line, "send " + step.Message + ": " + error);
}

TScriptStep ParseLine(const std::vector<TWord>& w, int line, bool& connected) {
  TScriptStep step;
  step.Line = line;
  const std::string& cmd = w[0].Text;
  auto count = [&](std::size_t lo, std::size_t hi) {
    if (w.size() - 1 < lo || w.size() - 1 > hi)
      Fail(line,
           cmd + " takes " +
               (lo == hi ? std::to_string(lo) : std::to_string(lo) + " to " + std::to_string(hi)) +
               " argument" + (hi == 1 ? "" : "s"));
  };
  auto needClient = [&] {
    if (!connected) Fail(line, cmd + " before any connect");
  };
  if (cmd == "connect") {
    count(0, 1);
    step.Op = ScriptOp::Connect;
    if (w.size() == 2) {
      step.Client = w[1].Text;
      if (!IsName(step.Client)) Fail(line, "'" + step.Client + "' is not a client name");
    }
    connected = true;
  } else if (cmd == "use") {
    count(1, 1);
    needClient();
    step.Op = ScriptOp::Use;
    step.Client = w[1].Text;
  } else if (cmd == "close") {
    count(0, 0);
    needClient();
    step.Op = ScriptOp::Close;
  } else if (cmd == "send") {
    needClient();
    step.Op = ScriptOp::Send;
    ParseSend(w, step);
  } else if (cmd == "join") {
    count(0, 3);
    needClient();
    step.Op = ScriptOp::Join;
    for (std::size_t i = 1; i < w.size(); ++i) step.Args.push_back(Arg(w[i]));
    if (step.Args.size() == 3 && !step.Args[2].Variable &&
        !ParseWholeNumber(step.Args[2].Text, 0, UINT16_MAX))
      Fail(line, "join: client code " + WholeNumberError(step.Args[2].Text, 0, UINT16_MAX));
  } else if (cmd == "expect") {
    needClient();
    step.Op = ScriptOp::Expect;
    ParseExpect(w, step);
  } else if (cmd == "wait") {
    count(1, 1);
    step.Op = ScriptOp::Wait;
    step.Ms = Milliseconds(w[1], line);
  } else if (cmd == "clear") {
    count(0, 0);
    needClient();
    step.Op = ScriptOp::Clear;
  } else if (cmd == "beats") {
    count(1, 1);
    step.Op = ScriptOp::Beats;
    if (w[1].Text != "on" && w[1].Text != "off") Fail(line, "beats takes on or off");
    step.On = w[1].Text == "on";
  } else if (cmd == "timeout") {
    count(1, 1);
    step.Op = ScriptOp::Timeout;
    step.Ms = Milliseconds(w[1], line);
  } else {
    Fail(line, "unknown command '" + cmd +
                   "' (connect use close send join expect wait clear beats timeout)");
  }
  return step;
}

std::optional<uint32_t> Number(const std::string& text, uint32_t hi, const char* what,
                               std::string& error) {
  auto v = ParseWholeNumber(text, 0, hi);
  if (!v) {
    error = std::string(what) + ": " + WholeNumberError(text, 0, hi);
    return std::nullopt;
  }
  return static_cast<uint32_t>(*v);
}

}  // namespace

TScript ParseScript(std::string_view text, const std::string& firstClient) {
  TScript script;
  bool connected = false;
  int line = 0;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    ++line;
    std::vector<TWord> words = SplitWords(text.substr(start, end - start), line);
    if (!words.empty()) {
      script.Steps.push_back(ParseLine(words, line, connected));
      TScriptStep& s = script.Steps.back();
      if (s.Op == ScriptOp::Connect && s.Client.empty()) s.Client = firstClient;
    }
    start = end + 1;
  }
  return script;
}

std::string ReadScriptFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EInOutError("cannot read the script " + path);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

std::optional<std::string> ScriptFrame(const std::string& message,
                                       const std::vector<std::string>& args, uint16_t ownUdpPort,
                                       std::string& error) {
  auto argc = [&](std::size_t lo, std::size_t hi) {
    if (args.size() >= lo && args.size() <= hi) return true;
    error = "takes " +
            (lo == hi ? std::to_string(lo) : std::to_string(lo) + " to " + std::to_string(hi)) +
            " argument" + (hi == 1 ? "" : "s") + ", not " + std::to_string(args.size());
    return false;
  };
  if (message == "raw") {
    if (!argc(1, 1000)) return std::nullopt;
    std::string bytes;
    for (const std::string& word : args) {
      if (word.size() % 2 != 0) {
        error = "'" + word + "' is not whole bytes in hex";
        return std::nullopt;
      }
      for (std::size_t i = 0; i < word.size(); i += 2) {
        int hi = HexDigit(word[i]), lo = HexDigit(word[i + 1]);
        if (hi < 0 || lo < 0) {
          error = "'" + word + "' is not whole bytes in hex";
          return std::nullopt;
        }
        bytes.push_back(static_cast<char>(hi * 16 + lo));
      }
    }
    return bytes;
  }
  uint32_t type = wire::TypeByName(message, wire::Direction::ToServer);
  if (type == 0) {
    error = "not a client message (or raw)";
    return std::nullopt;
  }
  switch (type) {
    case wire::LoginName:
    case wire::LoginPassword:
    case wire::ClientSay: {
      if (!argc(1, 1)) return std::nullopt;
      return type == wire::LoginName       ? FrameLoginName(args[0])
             : type == wire::LoginPassword ? FrameLoginPassword(args[0])
                                           : FrameClientSay(args[0]);
    }
    case wire::ClientUDPPort: {
      if (!argc(0, 1)) return std::nullopt;
      if (args.empty()) return FrameClientUDPPort(ownUdpPort);
      auto port = Number(args[0], UINT16_MAX, "port", error);
      if (!port) return std::nullopt;
      return FrameClientUDPPort(static_cast<uint16_t>(*port));
    }
    case wire::SetClientCode: {
      if (!argc(1, 1)) return std::nullopt;
      auto code = Number(args[0], UINT16_MAX, "code", error);
      if (!code) return std::nullopt;
      return FrameSetClientCode(static_cast<uint16_t>(*code));
    }
    case wire::KeyDown:
    case wire::KeyUp: {
      if (!argc(1, 4)) return std::nullopt;
      if (args.size() == 2) {
        error = "takes KEY, KEY X Y or KEY X Y VALUE";
        return std::nullopt;
      }
      auto key = Number(args[0], UINT8_MAX, "key", error);
      std::optional<uint32_t> x = 0, y = 0, value = 0;
      if (key && args.size() >= 3) {
        x = Number(args[1], UINT16_MAX, "x", error);
        y = x ? Number(args[2], UINT16_MAX, "y", error) : std::nullopt;
      }
      if (key && x && y && args.size() == 4) value = Number(args[3], UINT32_MAX, "value", error);
      if (!key || !x || !y || !value) return std::nullopt;
      auto k = static_cast<uint8_t>(*key);
      auto tx = static_cast<uint16_t>(*x), ty = static_cast<uint16_t>(*y);
      return type == wire::KeyDown ? FrameKeyDown(k, tx, ty, *value)
                                   : FrameKeyUp(k, tx, ty, *value);
    }
    case wire::BEATACK: {
      if (!argc(2, 2)) return std::nullopt;
      auto seq = Number(args[0], UINT8_MAX, "sequence number", error);
      auto tick = seq ? Number(args[1], UINT32_MAX, "tick", error) : std::nullopt;
      if (!seq || !tick) return std::nullopt;
      return FrameBEATACK(static_cast<uint8_t>(*seq), *tick);
    }
    default:  // QueryIdentity, ClientGone, StartGame
      if (!argc(0, 0)) return std::nullopt;
      return wire::Frame(type, {});
  }
}

}  // namespace zq
