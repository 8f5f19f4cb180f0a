// /metrics: the text exposition format line by line, and the counters following real
// traffic (messages by type, refusals and drops with every reason from 0, beats, queues, the
// UpdatePlayers, heartbeat and login histograms, the process's figures).
#include <chrono>

#include "server/ServerCounters.h"
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

TEST(MetricsText, TheCheckerRefusesWhatBreaksTheFormat) {
  auto refused = [](const std::string& text) {
    try {
      ParseMetrics(text);
    } catch (const std::runtime_error&) {
      return true;
    }
    return false;
  };
  const std::string hist = "# HELP h_seconds H.\n# TYPE h_seconds histogram\n";
  EXPECT_FALSE(refused(hist + "h_seconds_bucket{le=\"1\"} 1\nh_seconds_bucket{le=\"+Inf\"} 2\n"
                              "h_seconds_sum 3\nh_seconds_count 2\n"));
  EXPECT_TRUE(refused(hist + "h_seconds_bucket{le=\"1\"} 3\nh_seconds_bucket{le=\"+Inf\"} 2\n"
                             "h_seconds_sum 3\nh_seconds_count 2\n"));  // counts descend
  EXPECT_TRUE(refused(hist + "h_seconds_bucket{le=\"1\"} 1\nh_seconds_sum 3\n"
                             "h_seconds_count 1\n"));            // no +Inf
  EXPECT_TRUE(refused("# TYPE x_total counter\nx_total 1\n"));   // no HELP
  EXPECT_TRUE(refused("# HELP x X.\n# TYPE x counter\nx 1\n"));  // no _total
  EXPECT_TRUE(refused("# HELP x_total X.\n# TYPE x_total gauge\nx_total 1\n"));
  EXPECT_TRUE(refused("# HELP x_total X.\n# TYPE x_total counter\nx_total 1\nx_total 2\n"));
  EXPECT_TRUE(refused("# HELP x_total X.\n# TYPE x_total counter\ny_total 1\n"));
}

TEST(ServerCounters, ReasonHelpNamesEveryRowInOrder) {
  EXPECT_EQ(ReasonsHelp("Lead", REFUSAL_REASONS.data(), 2),
            "Lead, by reason (banned: the address is banned; paused: the server is paused).");
  EXPECT_EQ(LabelOf(TDrop::BeatTimeout), "beat_timeout");
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
  for (const auto& [family, type] : m.Types)
    EXPECT_EQ(family.rfind("zqosrv_", 0) == 0 || family.rfind("process_", 0) == 0, true) << family;
  EXPECT_EQ(m.Types.count("zqosrv_up"), 0u);  // Prometheus has `up` of its own
  // Every known reason has its series before it first happens, and the help names it.
  const std::string text = r.Body.toStdString();
  for (const TReasonRow& row : REFUSAL_REASONS) {
    const std::string series =
        "zqosrv_connections_refused_total{reason=\"" + std::string(row.Label) + "\"}";
    ASSERT_EQ(m.Samples.count(series), 1u) << series;
    EXPECT_EQ(m.Value(series), row.Label == "full" ? 1 : 0) << series;
    EXPECT_NE(text.find(std::string(row.Label) + ": " + std::string(row.Words)), std::string::npos);
  }
  for (const TReasonRow& row : DROP_REASONS) {
    const std::string series =
        "zqosrv_clients_dropped_total{reason=\"" + std::string(row.Label) + "\"}";
    ASSERT_EQ(m.Samples.count(series), 1u) << series;
    EXPECT_EQ(m.Value(series), 0) << series;
    EXPECT_NE(text.find(std::string(row.Label) + ": " + std::string(row.Words)), std::string::npos);
  }
  EXPECT_EQ(m.Samples.count("zqosrv_admin_refused_total{reason=\"deadline\"}"), 1u);
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
  // Four BEATACKs, each within the cycle; two logins decided.
  EXPECT_EQ(m.Value("zqosrv_beat_round_trip_seconds_count"), 4);
  EXPECT_EQ(m.Value("zqosrv_beat_round_trip_seconds_bucket{le=\"5\"}"), 4);
  EXPECT_EQ(m.Value("zqosrv_login_check_duration_seconds_count"), 2);
  EXPECT_GT(m.Value("zqosrv_login_check_duration_seconds_sum"), 0);
  const double now =
      std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  EXPECT_LE(m.Value("process_start_time_seconds"), m.Value("zqosrv_start_time_seconds") + 1);
  EXPECT_GT(m.Value("process_start_time_seconds"), now - 24 * 3600);
  EXPECT_GT(m.Value("process_open_fds"), 3);
  EXPECT_GE(m.Value("process_max_fds"), m.Value("process_open_fds"));
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
