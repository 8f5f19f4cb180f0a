#include "tools/soak/Churn.h"

#include <unistd.h>

#include <algorithm>
#include <memory>
#include <random>
#include <set>

#include "platform/ProcessStats.h"
#include "tools/client/ZQClient.h"
#include "tools/load/ClientPool.h"
#include "tools/load/Walker.h"

namespace zq {
namespace {

constexpr int64_t SECOND = 1'000'000;
constexpr int64_t JOIN_WITHIN = 10 * SECOND;
// The server drops a client after 5 missed beats of 3 s; a loaded machine gets slack.
constexpr int64_t DROP_WITHIN = 40 * SECOND;
constexpr int64_t SAMPLE_EVERY = 10 * SECOND;
constexpr int64_t RETARGET_EVERY = 30 * SECOND;  // the wanted number of clients moves
constexpr int SPAWNS_PER_ROUND = 4;
constexpr int FINAL_ATTEMPTS = 4;

enum class Leaving { Clean, Vanish, Silent };

// Each step of 0.25 to 1.5 s is walked back, so everyone stays near the spawn.
constexpr TWalkTimes WALK = {200'000, 800'000, 250'000, 1'500'000, true};

struct TSoakClient {
  TSoakClient(TZQClient& client, int64_t firstStep) : Client(client), Walker(WALK, firstStep) {}

  TZQClient& Client;  // in the churn's pool
  std::string Name;
  Leaving How = Leaving::Clean;
  int64_t JoinBy = 0;
  int64_t LeaveAt = 0;
  bool Joined = false;
  bool Silent = false;  // stopped answering beats
  int64_t SilentSince = 0;
  TWalker Walker;
  int64_t NextSay = 0;
};

class TChurn {
 public:
  TChurn(const TSoakOptions& options, std::ostream& out)
      : options_(options),
        out_(out),
        random_(options.Seed ? options.Seed : std::random_device{}()) {}

  TChurnReport Run();

 private:
  int64_t Between(int64_t lo, int64_t hi) {
    return std::uniform_int_distribution<int64_t>(lo, hi)(random_);
  }
  void Spawn(int64_t now);
  // Handles one client after a poll; false when it is gone and should be dropped.
  bool Tend(TSoakClient& c, int64_t now);
  void Sample(int64_t now);
  void CloseAll();
  // Joins one client at the spawn and collects the PlayerInfo of other players it is shown.
  bool FinalJoin(std::set<uint32_t>& strangers);
  void Problem(const std::string& text) {
    out_ << "problem: " << text << std::endl;
    report_.Problems.push_back(text);
  }

  const TSoakOptions& options_;
  std::ostream& out_;
  std::mt19937 random_;
  TClientPool pool_;
  std::vector<std::unique_ptr<TSoakClient>> clients_;  // one per client of the pool
  TChurnReport report_;
  int named_ = 0;
  int64_t start_ = 0;
  int64_t nextSpawn_ = 0;
  int64_t nextSample_ = 0;
  int target_ = 0;  // clients wanted now, between Min and Max
  int64_t nextRetarget_ = 0;
};

void TChurn::Spawn(int64_t now) {
  TClientConfig config;
  config.KeepInbox = false;
  const std::string name = "soak" + std::to_string(++named_);
  const int64_t roll = Between(0, 9);
  const Leaving how = roll < 4 ? Leaving::Clean : roll < 7 ? Leaving::Vanish : Leaving::Silent;
  const int64_t leaveAt = now + Between(5 * SECOND, 30 * SECOND);
  auto c = std::make_unique<TSoakClient>(pool_.Add(config), now + Between(0, SECOND));
  c->Name = name;
  c->How = how;
  c->JoinBy = now + JOIN_WITHIN;
  c->LeaveAt = leaveAt;
  c->NextSay = now + Between(SECOND, 8 * SECOND);
  c->Client.Connect(options_.Host, options_.Port);
  TSetupParams params;
  params.Name = c->Name;
  params.Password = "pw-" + c->Name;
  c->Client.BeginSetup(params);
  ++report_.Connected;
  clients_.push_back(std::move(c));
}

bool TChurn::Tend(TSoakClient& c, int64_t now) {
  TZQClient& client = c.Client;
  if (client.IsClosed()) {
    if (c.Silent) {
      ++report_.DroppedByServer;
    } else if (client.Refused()) {
      Problem(c.Name + " was refused as the server is full, with " +
              std::to_string(clients_.size()) + " soak clients connected");
    } else {
      Problem("the server closed " + c.Name + ", which answered every beat (" +
              client.CloseReason() + ")");
    }
    return false;
  }
  if (!c.Joined) {
    if (client.Setup() == SetupState::InGame) {
      c.Joined = true;
      ++report_.Joined;
    } else if (now > c.JoinBy) {
      Problem(c.Name + " did not reach the game within 10 s (" + SetupStateName(client.Setup()) +
              ")");
      client.Close();
      return false;
    }
    return true;
  }
  if (c.Silent) {
    if (now - c.SilentSince <= DROP_WITHIN) return true;
    Problem("the server did not drop " + c.Name + ", silent on the beat for 40 s");
    client.Close();
    return false;
  }
  if (now >= c.LeaveAt) {
    switch (c.How) {
      case Leaving::Clean:
        client.SendClientGone();
        client.Close();
        ++report_.LeftClean;
        return false;
      case Leaving::Vanish:
        client.Close();
        ++report_.Vanished;
        return false;
      case Leaving::Silent:
        c.Silent = true;
        c.SilentSince = now;
        client.SetAnswerBeats(false);
        ++report_.FellSilent;
        return true;
    }
  }
  if (std::optional<TKeyEvent> e = c.Walker.Step(now, random_)) SendKeyEvent(client, *e);
  if (now >= c.NextSay) {
    client.SendClientSay(c.Name + " says hello #" + std::to_string(c.Walker.Events()));
    c.NextSay = now + Between(3 * SECOND, 8 * SECOND);
  }
  return true;
}

void TChurn::Sample(int64_t now) {
  const int second = static_cast<int>((now - start_) / SECOND);
  out_ << "t=" << second << " s: " << clients_.size() << " connected, " << report_.Joined
       << " joined, " << report_.LeftClean << " left with ClientGone, " << report_.Vanished
       << " vanished, " << report_.FellSilent << " fell silent, " << report_.DroppedByServer
       << " dropped by the server";
  if (options_.ServerPid > 0) {
    if (std::optional<TProcessStats> stats = ReadProcessStats(options_.ServerPid)) {
      const auto kb = static_cast<long>(stats->ResidentBytes / 1024);
      report_.Rss.push_back({second, kb});
      out_ << ", server RSS " << kb << " kB";
    } else {
      Problem("cannot read the RSS of process " + std::to_string(options_.ServerPid));
    }
  }
  out_ << std::endl;
}

void TChurn::CloseAll() {
  for (auto& c : clients_)
    if (c->Joined && !c->Silent && c->How == Leaving::Clean) c->Client.SendClientGone();
  pool_.Close();
  clients_.clear();
  pool_ = TClientPool();
}

bool TChurn::FinalJoin(std::set<uint32_t>& strangers) {
  TClientConfig config;
  TZQClient client(config);
  std::set<uint32_t> seen;
  client.SetOnMessage([&seen](const TReceived& r) {
    if (const auto* info = r.As<msg::PlayerInfo>()) seen.insert(info->GUID);
  });
  client.Connect(options_.Host, options_.Port);
  TSetupParams params;
  params.Name = "soak-last";
  if (!client.RunSetup(params, static_cast<int>(JOIN_WITHIN / 1000))) {
    Problem("a new client did not join after the churn (" +
            std::string(SetupStateName(client.Setup())) + ")");
    return false;
  }
  client.WaitUntil([] { return false; }, 1500);  // the PlayerInfo of those in view follow
  seen.erase(client.Guid());
  strangers = seen;
  client.SendClientGone();
  client.Close();
  return true;
}

TChurnReport TChurn::Run() {
  start_ = NowMicros();
  const int64_t end = start_ + static_cast<int64_t>(options_.Seconds * SECOND);
  nextSample_ = start_;
  while (NowMicros() < end) {
    const int64_t now = NowMicros();
    if (now >= nextSample_) {
      Sample(now);
      nextSample_ += SAMPLE_EVERY;
    }
    if (now >= nextRetarget_) {
      target_ = static_cast<int>(Between(options_.MinClients, options_.MaxClients));
      nextRetarget_ = now + RETARGET_EVERY;
    }
    const int live = static_cast<int>(clients_.size());
    if (live < options_.MinClients) {
      for (int i = 0; i < std::min(options_.MinClients - live, SPAWNS_PER_ROUND); ++i) Spawn(now);
    } else if (live < target_ && now >= nextSpawn_) {
      Spawn(now);
      nextSpawn_ = now + Between(100'000, 1'500'000);
    }
    pool_.Poll(20);
    const int64_t after = NowMicros();
    std::erase_if(clients_, [&](const std::unique_ptr<TSoakClient>& c) {
      if (Tend(*c, after)) return false;
      pool_.Remove(c->Client);
      return true;
    });
  }
  CloseAll();
  Sample(NowMicros());

  // The server needs a moment for the departures; a leftover player stays however long.
  std::set<uint32_t> strangers;
  for (int attempt = 1; attempt <= FINAL_ATTEMPTS; ++attempt) {
    usleep(static_cast<useconds_t>(attempt == 1 ? 2 * SECOND : 4 * SECOND));
    if (!FinalJoin(strangers)) break;
    if (strangers.empty()) {
      out_ << "a new client joined at the spawn and met nobody" << std::endl;
      break;
    }
    if (attempt == FINAL_ATTEMPTS) {
      std::string guids;
      for (uint32_t g : strangers) guids += " " + std::to_string(g);
      Problem("a new client at the spawn still meets " + std::to_string(strangers.size()) +
              " player(s) left over:" + guids);
    }
  }
  if (options_.ServerPid > 0) Sample(NowMicros());
  return report_;
}

}  // namespace

TChurnReport RunChurn(const TSoakOptions& options, std::ostream& out) {
  return TChurn(options, out).Run();
}

}  // namespace zq
