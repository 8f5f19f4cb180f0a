#include "tools/bot/ScriptRun.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

#include "tools/cli/WholeNumber.h"
#include "tools/client/Trace.h"
#include "tools/load/ClientPool.h"

namespace zq {
namespace {

constexpr int FLUSH_MS = 1000;

// Numbers compare by value (1 matches 1.0); everything else as text.
bool ValueEquals(const TField& field, const std::string& want) {
  if (field.IsText) return field.Value == want;
  char* endA = nullptr;
  char* endB = nullptr;
  double a = std::strtod(field.Value.c_str(), &endA);
  double b = std::strtod(want.c_str(), &endB);
  if (want.empty() || *endA != '\0' || *endB != '\0') return field.Value == want;
  return a == b || std::fabs(a - b) <= 1e-9 * std::max({1.0, std::fabs(a), std::fabs(b)});
}

std::string StepText(const TScriptStep& s) {
  std::string text = s.Op == ScriptOp::ExpectNo ? "expect no " : "expect ";
  if (s.Transport) text += *s.Transport == Via::Tcp ? "tcp " : "udp ";
  text += s.Message;
  for (const TFieldMatch& m : s.Matches) {
    text += " " + m.Field + "=";
    text += m.How == TFieldMatch::Kind::Variable  ? "$" + m.Value
            : m.How == TFieldMatch::Kind::Capture ? "?" + m.Value
                                                  : m.Value;
  }
  return text;
}

class TScriptRunner {
 public:
  TScriptRunner(const TBotOptions& options, std::ostream& out, const std::function<bool()>& stop,
                const PumpHook& pump)
      : options_(options), out_(out), stop_(stop), pump_(pump), trace_(out, options.TraceHex) {}

  int Run(const TScript& script) {
    bool ok = true;
    for (const TScriptStep& step : script.Steps) {
      line_ = step.Line;
      if (stop_()) {
        Report("FAILED: interrupted");
        ok = false;
        break;
      }
      if (!Step(step)) {
        ok = false;
        break;
      }
    }
    pool_.Close(FLUSH_MS, pump_);
    if (ok)
      out_ << "script: every expectation held (" << held_ << ")" << std::endl;
    else
      out_ << "script: stopped at line " << line_ << " after " << held_ << " expectations held"
           << std::endl;
    return ok ? 0 : 1;
  }

 private:
  void Report(const std::string& text) { out_ << "script: line " << line_ << ": " << text << "\n"; }
  bool Failed(const std::string& text) {
    Report("FAILED: " + text);
    return false;
  }
  bool Held(const std::string& text, int64_t since) {
    ++held_;
    Report("held: " + text + " (" + std::to_string((NowMicros() - since) / 1000) + " ms)");
    return true;
  }

  int64_t Ms(const TScriptStep& s) const { return s.Ms.value_or(timeoutMs_); }

  bool Wait(const std::function<bool()>& done, int ms) {
    return pool_.WaitUntil([&] { return stop_() || done(); }, ms, pump_) && !stop_();
  }

  std::optional<std::string> Resolve(const TScriptArg& a) {
    if (!a.Variable) return a.Text;
    auto it = vars_.find(a.Text);
    if (it == vars_.end()) return std::nullopt;
    return it->second;
  }

  bool Matches(const TScriptStep& s, const TReceived& r) const {
    if (s.Transport && r.Transport != *s.Transport) return false;
    TMessageText text = ServerMessageText(r.Body);
    if (text.Type != s.Message) return false;
    for (const TFieldMatch& m : s.Matches) {
      const TField* f = text.Find(m.Field);
      if (!f) return false;
      if (m.How == TFieldMatch::Kind::Capture) continue;
      if (!ValueEquals(*f, m.How == TFieldMatch::Kind::Variable ? vars_.at(m.Value) : m.Value))
        return false;
    }
    return true;
  }

  // What came of that type without matching, for the failure report.
  std::string Unmatched(const TScriptStep& s) const {
    std::string list;
    int n = 0;
    for (const TReceived& r : current_->Inbox()) {
      TMessageText text = ServerMessageText(r.Body);
      if (text.Type != s.Message || n++ >= 3) continue;
      list += "; got " + std::string(r.Transport == Via::Tcp ? "TCP " : "UDP ") + text.Line();
    }
    return list;
  }

  bool Step(const TScriptStep& s) {
    switch (s.Op) {
      case ScriptOp::Connect:
        return Connect(s.Client);
      case ScriptOp::Use: {
        auto it = byName_.find(s.Client);
        if (it == byName_.end()) return Failed("no client named " + s.Client);
        current_ = it->second;
        return true;
      }
      case ScriptOp::Close:
        pool_.Flush(FLUSH_MS, pump_);
        current_->Close();
        return true;
      case ScriptOp::Send:
        return Send(s);
      case ScriptOp::Join:
        return Join(s);
      case ScriptOp::Expect:
      case ScriptOp::ExpectNo:
        return Expect(s);
      case ScriptOp::ExpectClosed: {
        int64_t since = NowMicros();
        if (!Wait([&] { return current_->IsClosed(); }, static_cast<int>(Ms(s))))
          return Failed("expect closed: still open after " + std::to_string(Ms(s)) + " ms");
        return Held("closed: " + current_->CloseReason(), since);
      }
      case ScriptOp::Wait:
        Wait([] { return false; }, *s.Ms);
        return !stop_() || Failed("interrupted");
      case ScriptOp::Clear:
        current_->ClearInbox();
        return true;
      case ScriptOp::Beats:
        answerBeats_ = s.On;
        for (std::size_t i = 0; i < pool_.Size(); ++i) pool_[i].SetAnswerBeats(s.On);
        return true;
      case ScriptOp::Timeout:
        timeoutMs_ = *s.Ms;
        return true;
    }
    return Failed("unknown step");
  }

  bool Connect(const std::string& name) {
    auto it = byName_.find(name);
    if (it != byName_.end() && !it->second->IsClosed())
      return Failed("client " + name + " is still connected; close it first");
    TClientConfig config;
    config.AnswerBeats = answerBeats_;
    TZQClient& c = pool_.Add(config);
    if (options_.Trace) trace_.Attach(c, name);
    try {
      c.Connect(options_.Host, options_.Port);
    } catch (const std::exception& e) {
      return Failed(std::string("connect: ") + e.what());
    }
    byName_[name] = &c;
    names_[&c] = name;
    current_ = &c;
    return true;
  }

  // The step's arguments with variables replaced; fails the step when one has no value.
  bool ResolveArgs(const TScriptStep& s, std::vector<std::string>& args) {
    for (const TScriptArg& a : s.Args) {
      auto v = Resolve(a);
      if (!v) return Failed("variable $" + a.Text + " has no value");
      args.push_back(*v);
    }
    return true;
  }

  bool Send(const TScriptStep& s) {
    std::vector<std::string> args;
    if (!ResolveArgs(s, args)) return false;
    std::string error;
    auto frame = ScriptFrame(s.Message, args, current_->LocalUdpPort(), error);
    if (!frame) return Failed("send " + s.Message + ": " + error);
    if (!current_->SendRaw(*frame, *s.Transport))
      return Failed("send " + s.Message + ": the message cannot leave (" +
                    (current_->IsClosed() ? current_->CloseReason()
                                          : std::string("no UDP port assigned yet")) +
                    ")");
    return true;
  }

  bool Join(const TScriptStep& s) {
    std::vector<std::string> args;
    if (!ResolveArgs(s, args)) return false;
    TSetupParams params;
    params.Name = args.size() > 0 ? args[0] : names_[current_];
    params.Password = args.size() > 1 ? args[1] : options_.Password;
    if (args.size() > 2) {
      auto code = ParseWholeNumber(args[2], 0, UINT16_MAX);
      if (!code) return Failed("join: client code " + WholeNumberError(args[2], 0, UINT16_MAX));
      params.ClientCode = static_cast<uint16_t>(*code);
    }
    int64_t since = NowMicros();
    current_->BeginSetup(params);
    Wait(
        [&] {
          return current_->Setup() == SetupState::InGame || current_->IsClosed() ||
                 current_->Setup() == SetupState::Refused;
        },
        static_cast<int>(timeoutMs_));
    if (current_->Setup() != SetupState::InGame)
      return Failed(std::string("join: setup ended in ") + SetupStateName(current_->Setup()) +
                    (current_->IsClosed() ? " (" + current_->CloseReason() + ")" : ""));
    return Held("joined as GUID " + std::to_string(current_->Guid()), since);
  }

  bool Expect(const TScriptStep& s) {
    for (const TFieldMatch& m : s.Matches)
      if (m.How == TFieldMatch::Kind::Variable && !vars_.count(m.Value))
        return Failed("variable $" + m.Value + " has no value");
    auto pred = [&](const TReceived& r) { return Matches(s, r); };
    std::optional<TReceived> found;
    int64_t since = NowMicros();
    TZQClient& c = *current_;
    if (s.Op == ScriptOp::ExpectNo) {
      // Only what arrives from now on counts against it.
      const std::size_t before = c.Inbox().size();
      Wait(
          [&] {
            for (std::size_t i = before; i < c.Inbox().size() && !found; ++i)
              if (pred(c.Inbox()[i])) found = c.Inbox()[i];
            return found.has_value() || c.IsClosed();
          },
          static_cast<int>(Ms(s)));
      if (found) return Failed(StepText(s) + ": came: " + DescribeMessage(found->Body));
      return Held(StepText(s), since);
    }
    Wait(
        [&] {
          found = c.WaitFor(pred, 0);
          return found.has_value() || c.IsClosed();
        },
        static_cast<int>(Ms(s)));
    if (!found) {
      std::string why = c.IsClosed() ? "the connection closed (" + c.CloseReason() + ")"
                                     : "nothing within " + std::to_string(Ms(s)) + " ms";
      return Failed(StepText(s) + ": " + why + Unmatched(s));
    }
    TMessageText text = ServerMessageText(found->Body);
    for (const TFieldMatch& m : s.Matches)
      if (m.How == TFieldMatch::Kind::Capture) vars_[m.Value] = text.Find(m.Field)->Value;
    return Held(text.Line(), since);
  }

  const TBotOptions& options_;
  std::ostream& out_;
  const std::function<bool()>& stop_;
  const PumpHook& pump_;
  TTrace trace_;
  std::map<std::string, TZQClient*> byName_;
  std::map<const TZQClient*, std::string> names_;
  TClientPool pool_;  // every client the script connected
  TZQClient* current_ = nullptr;
  std::map<std::string, std::string> vars_;
  int64_t timeoutMs_ = SCRIPT_DEFAULT_TIMEOUT_MS;
  bool answerBeats_ = true;
  int held_ = 0;
  int line_ = 0;
};

}  // namespace

int RunScript(const TScript& script, const TBotOptions& options, std::ostream& out,
              const std::function<bool()>& stop, const PumpHook& pump) {
  TScriptRunner runner(options, out, stop, pump);
  return runner.Run(script);
}

}  // namespace zq
