#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/Errors.h"
#include "tools/bot/BotOptions.h"
#include "tools/bot/HostAddress.h"
#include "tools/bot/LatencyHistogram.h"
#include "tools/bot/LoadRun.h"
#include "tools/bot/LoadTracker.h"
#include "tools/bot/ProcessCpu.h"

namespace zq {
namespace {

// The motion the server sends for client event k (keys held one at a time).
msg::PlayerMotion MotionFor(uint32_t guid, uint32_t k) {
  TLoadEvent e = LoadEventAt(k);
  msg::PlayerMotion m;
  m.GUID = guid;
  m.MoveFlags = e.Down ? 1 : 0;
  m.DirX = e.Key == 3 ? -1 : e.Key == 4 ? 1 : 0;
  m.DirY = e.Key == 1 ? -1 : e.Key == 2 ? 1 : 0;
  return m;
}

TEST(LoadTracker, EventsCycleDownUpOverKeysOneToFour) {
  const int keys[8] = {1, 1, 2, 2, 3, 3, 4, 4};
  for (uint32_t k = 0; k < 16; ++k) {
    EXPECT_EQ(LoadEventAt(k).Down, k % 2 == 0);
    EXPECT_EQ(LoadEventAt(k).Key, keys[k % 8]);
    EXPECT_EQ(LoadPhaseOf(MotionFor(1, k)), static_cast<int>(k % 8));
  }
  EXPECT_EQ(LoadPhaseOf(msg::PlayerMotion{}), -1);  // no direction yet
}

TEST(LoadTracker, AcksMatchByValueOnceAndOnlyWithTheRightKind) {
  TLoadTracker t(2);
  t.SetGuid(0, 10);
  t.SetGuid(1, 11);
  EXPECT_EQ(t.RecordSend(0, 1000), 0u);
  EXPECT_EQ(t.RecordSend(0, 2000), 1u);
  t.OnAck(0, true, 1, 0, 1500);   // matches k=0, 500 us
  t.OnAck(0, true, 1, 0, 1600);   // duplicate
  t.OnAck(0, true, 1, 1, 2100);   // k=1 is a KeyUp
  t.OnAck(0, false, 2, 1, 2100);  // wrong key
  t.OnAck(0, false, 1, 7, 2100);  // never sent
  t.OnAck(1, true, 1, 0, 2100);   // client 1 sent nothing
  TLoadCounts c = t.Counts();
  EXPECT_EQ(c.Sent, 2u);
  EXPECT_EQ(c.AcksMatched, 1u);
  EXPECT_EQ(c.AcksUnmatched, 5u);
  EXPECT_EQ(t.AckLatency().Count(), 1u);
  EXPECT_EQ(t.AckLatency().Max(), 500);
}

TEST(LoadTracker, MotionsMatchInOrderPerReceiverAndSkipLostOnes) {
  TLoadTracker t(3);
  for (std::size_t i = 0; i < 3; ++i) t.SetGuid(i, static_cast<uint32_t>(i + 1));
  for (int k = 0; k < 4; ++k) t.RecordSend(0, 1000 * (k + 1));
  // Receiver 1 sees all four events of client 0; receiver 2 misses event 1.
  for (uint32_t k = 0; k < 4; ++k) t.OnMotion(1, MotionFor(1, k), 1000 * (k + 1) + 100);
  t.OnMotion(2, MotionFor(1, 0), 1200);
  t.OnMotion(2, MotionFor(1, 2), 3200);
  t.OnMotion(2, MotionFor(1, 3), 4200);
  // The mover's own copy counts but is no fan-out sample.
  t.OnMotion(0, MotionFor(1, 0), 1050);
  // Unknown GUID, and a fifth motion that no event explains.
  t.OnMotion(1, MotionFor(99, 0), 9000);
  t.OnMotion(1, MotionFor(1, 4), 9000);
  TLoadCounts c = t.Counts();
  EXPECT_EQ(c.MotionsExpected, 12u);
  EXPECT_EQ(c.MotionsMatched, 8u);
  EXPECT_EQ(c.MotionsUnmatched, 2u);
  EXPECT_EQ(c.Skipped, 1u);
  EXPECT_EQ(t.FanOutLatency().Count(), 7u);
  EXPECT_EQ(t.FanOutLatency().Max(), 200);
  EXPECT_EQ(t.FanOutLatency().Percentile(0.5), 100);
}

TEST(LoadReport, LinesShowLossesAndCpuPerThousand) {
  TLoadReport r;
  r.Clients = 2;
  r.Rate = 10;
  r.Seconds = 1;
  r.DrainMs = 500;
  r.Counts.Sent = 20;
  r.Counts.AcksExpected = 20;
  r.Counts.AcksMatched = 19;
  r.Counts.MotionsExpected = 40;
  r.Counts.MotionsMatched = 40;
  r.Counts.MotionsUnmatched = 3;
  r.AckLatency.Add(1500);
  r.Delivered = 2000;
  r.DeliverySeconds = 2;
  r.ServerCpuSeconds = 0.5;
  auto lines = FormatLoadReport(r);
  ASSERT_GE(lines.size(), 8u);
  EXPECT_EQ(lines[0], "load: 2 clients, 10 key events/s each, 1 s, drain 500 ms");
  EXPECT_EQ(lines[2], "acks: 20 expected, 19 matched, 1 lost, 0 unmatched");
  EXPECT_EQ(lines[3], "key-to-ack latency: p50 1.500 ms, p99 1.500 ms, max 1.500 ms (1 samples)");
  EXPECT_EQ(lines[4], "motions: 40 expected, 40 matched, 0 lost, 3 unmatched");
  EXPECT_EQ(lines[6], "delivered: 2000 messages in 2.00 s, 1000 messages/s");
  EXPECT_EQ(lines[7], "server CPU: 0.500 s, 0.250000 s per 1000 messages delivered");
}

TEST(LatencyHistogram, PercentilesExactBelow1024AndCloseAbove) {
  TLatencyHistogram h;
  EXPECT_EQ(h.Percentile(0.5), 0);
  for (int v = 1; v <= 100; ++v) h.Add(v);
  EXPECT_EQ(h.Percentile(0.5), 50);
  EXPECT_EQ(h.Percentile(0.99), 99);
  EXPECT_EQ(h.Percentile(1.0), 100);
  h.Add(-5);  // clock oddities count as 0
  EXPECT_EQ(h.Count(), 101u);
  for (int64_t v : {int64_t{1500}, int64_t{123456}, int64_t{98765432}, int64_t{1} << 45}) {
    TLatencyHistogram one;
    one.Add(v);
    EXPECT_EQ(one.Max(), v);
    EXPECT_LE(one.Percentile(0.5), v);
    if (v < (int64_t{1} << 42)) {
      EXPECT_GE(one.Percentile(0.5), v - v / 256);
    }
  }
}

TEST(ProcessCpu, ReadsUserAndSystemTicksAfterTheCommandName) {
  std::string stat = "1234 (odd) name) S 1 2 3 4 5 6 7 8 9 10 250 150 0 0 20 0 1 0";
  auto secs = ParseProcStatCpuSeconds(stat, 100);
  ASSERT_TRUE(secs);
  EXPECT_DOUBLE_EQ(*secs, 4.0);
  EXPECT_FALSE(ParseProcStatCpuSeconds("1234 (x) S 1 2", 100));
  EXPECT_FALSE(ParseProcStatCpuSeconds("garbage", 100));
  EXPECT_FALSE(ParseProcStatCpuSeconds("1 (x) S 1 2 3 4 5 6 7 8 9 10 2x 1 0", 100));
  EXPECT_TRUE(ReadProcessCpuSeconds(::getpid()));
  EXPECT_FALSE(ReadProcessCpuSeconds(0));
}

TEST(BotOptions, DefaultsValuesAndClearErrors) {
  TBotOptions o = ParseBotOptions({});
  EXPECT_EQ(o.Host, "127.0.0.1");
  EXPECT_EQ(o.Port, 12578);
  EXPECT_EQ(o.Count, 1);
  EXPECT_EQ(o.Seconds, 0);

  o = ParseBotOptions(
      {"--load", "--count", "63", "--rate", "2.5", "--server-pid", "77", "--host", "127.1.2.3"});
  EXPECT_TRUE(o.Load);
  EXPECT_EQ(o.Count, 63);
  EXPECT_EQ(o.Rate, 2.5);
  EXPECT_EQ(o.Seconds, 10);  // load default
  EXPECT_EQ(o.ServerPid, 77);

  o = ParseBotOptions({"--say", "--walk"});  // the text of --say is optional
  EXPECT_FALSE(o.Say.empty());
  EXPECT_TRUE(o.Walk);
  EXPECT_EQ(ParseBotOptions({"--walk", "--say", "hi there"}).Say, "hi there");

  auto error = [](std::vector<std::string> args) {
    try {
      ParseBotOptions(args);
    } catch (const EConvertError& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(error({"--count", "64"}), "--count: '64' is not a whole number from 1 to 63");
  EXPECT_EQ(error({"--port", "12x"}), "--port: '12x' is not a whole number from 1 to 65535");
  EXPECT_EQ(error({"--port", "0x10"}), "--port: '0x10' is not a whole number from 1 to 65535");
  EXPECT_EQ(error({"--rate", "nan"}), "--rate: 'nan' is not a number from 0.1 to 100");
  EXPECT_EQ(error({"--name", ""}), "--name: the name is empty");
  EXPECT_NE(error({"--name"}).find("--name"), std::string::npos);
  EXPECT_NE(error({"--fly"}).find("--fly"), std::string::npos);
  EXPECT_EQ(error({"--script", "s", "--walk"}), "--script cannot be combined with --walk");
  EXPECT_EQ(error({"--load", "--seconds", "0"}),
            "--seconds: load runs last from more than 0 to 600 seconds");
  // Any host is taken as given; names are resolved when the client connects.
  EXPECT_EQ(ParseBotOptions({"--host", "game.example"}).Host, "game.example");
  EXPECT_TRUE(ParseBotOptions({"--trace-hex"}).Trace);
  EXPECT_TRUE(ParseBotOptions({"--help"}).Help);
}

}  // namespace
}  // namespace zq
