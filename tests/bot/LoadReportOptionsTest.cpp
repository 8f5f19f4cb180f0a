// The bot's load report and its command line.
#include <gtest/gtest.h>

#include "platform/Errors.h"
#include "tools/bot/BotOptions.h"
#include "tools/bot/LoadRun.h"

namespace zq {
namespace {

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
