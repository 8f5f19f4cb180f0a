// /metrics: the text exposition format line by line, and the counters following real
// traffic (messages by type, refusals, beats, queues, the UpdatePlayers histogram).
#include "server/admin/MetricsText.h"
#include "tests/admin/AdminTestSupport.h"

namespace zq::test {
namespace {

TEST(MetricsText, EscapesLabelsAndHelpAndWritesHistogramsCumulatively) {
  TMetricsText m;
  m.Family("x_total", "counter", "Back\\slash and\nline.");
  m.Sample("x_total", uint64_t{3}, {{"a", "q\"uote"}, {"b", "back\\slash\nnl"}});
  m.Family("g", "gauge", "G.");
  m.Sample("g", 0.25);
  m.Sample("g", 1e21);
  TDurationHistogram h({1e-6, 1e-3});
  h.Observe(std::chrono::nanoseconds(500));
  h.Observe(std::chrono::microseconds(1));  // on the bound: counts in it
  h.Observe(std::chrono::microseconds(200));
  h.Observe(std::chrono::seconds(2));
  m.Histogram("h_seconds", "H.", h.Read());
  EXPECT_EQ(m.Text(),
            "# HELP x_total Back\\\\slash and\\nline.\n"
            "# TYPE x_total counter\n"
            "x_total{a=\"q\\\"uote\",b=\"back\\\\slash\\nnl\"} 3\n"
            "# HELP g G.\n# TYPE g gauge\ng 0.25\ng 1e+21\n"
            "# HELP h_seconds H.\n# TYPE h_seconds histogram\n"
            "h_seconds_bucket{le=\"1e-06\"} 2\n"
            "h_seconds_bucket{le=\"0.001\"} 3\n"
            "h_seconds_bucket{le=\"+Inf\"} 4\n"
            "h_seconds_sum 2.0002015\n"
            "h_seconds_count 4\n");
  EXPECT_EQ(TMetricsText::Number(1.0 / 0.0), "+Inf");
}

TEST_F(AdminApiTest, MetricsFollowTheTrafficInTheExpositionFormat) {
  settings_.MaxClients = 2;
  StartAdmin();
  TZQClient& alice = Join("alice");
  Join("bob");
  Connect();  // the third: refused as full
  for (uint32_t i = 0; i < 3; ++i) {
    alice.SendKeyDown(1, 0, 0, i);
    alice.SendKeyUp(1, 0, 0, i);
  }
  alice.SendClientSay("hello");
  ASSERT_TRUE(WaitUntil([&] {
    return server_->Status().Traffic.ReceivedMessages(TTransport::Tcp, MsgCode(ClientSay)) == 1;
  }));
  // Two heartbeat cycles, each answered by both before the next.
  auto beatAcks = [&] {
    return server_->Status().Traffic.ReceivedMessages(TTransport::Udp, MsgCode(BEATACK));
  };
  server_->Running()->Connections().OnBeatTimer();
  ASSERT_TRUE(WaitUntil([&] { return beatAcks() == 2; }));
  server_->Running()->Connections().OnBeatTimer();
  ASSERT_TRUE(WaitUntil([&] { return beatAcks() == 4; }));
  // UpdatePlayers runs on the game thread every 62 ms.
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().UpdateDurations->Count >= 3; }));

  THttpResult r = Get("/metrics", "");
  ASSERT_EQ(r.Status, 200);
  EXPECT_EQ(r.Header("content-type"), METRICS_CONTENT_TYPE);
  TMetrics m;
  ASSERT_NO_THROW(m = ParseMetrics(r.Body.toStdString())) << r.Body.toStdString();
  for (const auto& [family, type] : m.Types) {
    const bool total = family.size() > 6 && family.substr(family.size() - 6) == "_total";
    EXPECT_EQ(type == "counter", total) << family;  // counters and only counters end in _total
    EXPECT_EQ(family.rfind("zqosrv_", 0) == 0 || family.rfind("process_", 0) == 0, true) << family;
  }
  EXPECT_EQ(m.Value("zqosrv_up"), 1);
  EXPECT_EQ(m.Value("zqosrv_build_info{version=\"0.1.1\"}"), 1);
  EXPECT_EQ(m.Value("zqosrv_connections"), 2);
  EXPECT_EQ(m.Value("zqosrv_players"), 2);
  EXPECT_EQ(m.Value("zqosrv_max_clients"), 2);
  EXPECT_EQ(m.Value("zqosrv_connections_admitted_total"), 2);
  EXPECT_EQ(m.Value("zqosrv_connections_refused_total{reason=\"full\"}"), 1);
  EXPECT_EQ(m.Value("zqosrv_messages_received_total{type=\"KeyDown\",transport=\"tcp\"}"), 3);
  EXPECT_EQ(m.Value("zqosrv_messages_received_total{type=\"KeyUp\",transport=\"tcp\"}"), 3);
  EXPECT_EQ(m.Value("zqosrv_messages_received_total{type=\"StartGame\",transport=\"tcp\"}"), 2);
  EXPECT_EQ(m.Value("zqosrv_messages_received_total{type=\"BEATACK\",transport=\"udp\"}"), 4);
  // Greetings: two admitted, the refused one gets ServerFull only.
  EXPECT_EQ(m.Value("zqosrv_messages_sent_total{type=\"Welcome\",transport=\"tcp\"}"), 2);
  EXPECT_EQ(m.Value("zqosrv_messages_sent_total{type=\"ServerFull\",transport=\"tcp\"}"), 1);
  EXPECT_EQ(m.Value("zqosrv_messages_sent_total{type=\"BEAT\",transport=\"udp\"}"), 4);
  EXPECT_EQ(m.Value("zqosrv_messages_sent_total{type=\"KeyDownAck\",transport=\"udp\"}"), 3);
  EXPECT_EQ(m.Value("zqosrv_messages_sent_total{type=\"PlayerSpeech\",transport=\"tcp\"}"), 2);
  EXPECT_EQ(m.Value("zqosrv_beats_sent_total"), 4);
  EXPECT_EQ(m.Value("zqosrv_beats_missed_total"), 0);
  // Every BEAT datagram is 9 bytes; the UDP bytes sent are at least those.
  EXPECT_GE(m.Value("zqosrv_sent_bytes_total{transport=\"udp\"}"), 4 * 9);
  EXPECT_GT(m.Value("zqosrv_received_bytes_total{transport=\"tcp\"}"), 0);
  EXPECT_EQ(m.Value("zqosrv_received_bytes_total{transport=\"udp\"}"), 4 * 9);
  EXPECT_EQ(m.Types["zqosrv_queue_depth"], "gauge");
  EXPECT_EQ(m.Samples.count("zqosrv_queue_depth{queue=\"game\"}"), 1u);
  EXPECT_EQ(m.Value("zqosrv_queue_full_total{queue=\"dispatch\"}"), 0);
  // The histogram: cumulative buckets, +Inf equal to the count.
  const double count = m.Value("zqosrv_update_players_duration_seconds_count");
  EXPECT_GE(count, 3);
  EXPECT_EQ(m.Value("zqosrv_update_players_duration_seconds_bucket{le=\"+Inf\"}"), count);
  EXPECT_LE(m.Value("zqosrv_update_players_duration_seconds_bucket{le=\"1e-06\"}"),
            m.Value("zqosrv_update_players_duration_seconds_bucket{le=\"0.025\"}"));
  EXPECT_GT(m.Value("process_cpu_seconds_total"), 0);
  EXPECT_GT(m.Value("process_resident_memory_bytes"), 1e6);

  // A client that stops answering beats is counted as it misses them.
  alice.SetAnswerBeats(false);
  server_->Running()
      ->Connections()
      .OnBeatTimer();  // alice's third BEAT goes unanswered, bob's is answered
  ASSERT_TRUE(WaitUntil([&] { return beatAcks() == 5; }));
  server_->Running()->Connections().OnBeatTimer();
  m = ParseMetrics(Get("/metrics", "").Body.toStdString());
  EXPECT_EQ(m.Value("zqosrv_beats_missed_total"), 1);
}

}  // namespace
}  // namespace zq::test
