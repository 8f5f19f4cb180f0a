#include "server/admin/ServerMetrics.h"

#include <array>

#include "platform/ProcessStats.h"
#include "protocol/MessageCodes.h"
#include "server/ServerCounters.h"
#include "server/admin/MetricsText.h"

namespace zq {
namespace {

const char* TransportLabel(TTransport via) {
  return via == TTransport::Tcp ? "tcp" : "udp";
}

std::string TypeLabel(uint8_t code) {
  const char* name = MsgTypeName(MsgType(code));
  if (name) return name;
  static const char* const HEX = "0123456789ABCDEF";
  return std::string("0x") + HEX[code >> 4] + HEX[code & 15];
}

// Messages by type and transport: only the series that have counted something.
template <typename F>
void ByType(TMetricsText& m, const char* name, F count) {
  for (TTransport via : {TTransport::Tcp, TTransport::Udp})
    for (int code = 0; code < 256; ++code)
      if (const uint64_t n = count(via, static_cast<uint8_t>(code)))
        m.Sample(
            name, n,
            {{"type", TypeLabel(static_cast<uint8_t>(code))}, {"transport", TransportLabel(via)}});
}

// A family counted by reason: its help names every reason of the table, and every reason
// has its sample, 0 until it happens.
template <std::size_t N, typename F>
void ByReason(TMetricsText& m, const char* name, std::string_view lead,
              const std::array<TReasonRow, N>& rows, F countAt) {
  m.Family(name, "counter", ReasonsHelp(lead, rows.data(), rows.size()));
  for (std::size_t i = 0; i < N; ++i)
    m.Sample(name, uint64_t{countAt(i)}, {{"reason", std::string(rows[i].Label)}});
}

// What the admin API's transport refuses, in THttpRefusals' order.
constexpr std::array<TReasonRow, 5> HTTP_REFUSAL_REASONS = {{
    {"connections", "max connections open"},
    {"per_address", "max connections from the address open"},
    {"header", "a request head beyond its bound"},
    {"body", "a request body beyond its bound"},
    {"deadline", "a request late or a connection idle too long"},
}};

}  // namespace

std::string ServerMetricsText(const TServerStatus& status, const TAdminCounters& admin) {
  TMetricsText m;
  m.Family("zqosrv_build_info", "gauge", "The server's version, as a label; always 1.");
  m.Sample("zqosrv_build_info", uint64_t{1}, {{"version", VersionString}});
  if (status.Running) {
    m.Family("zqosrv_start_time_seconds", "gauge", "When the server started, in Unix seconds.");
    m.Sample("zqosrv_start_time_seconds",
             std::chrono::duration<double>(status.StartedAt.time_since_epoch()).count());
  }
  m.Single("zqosrv_paused", "gauge", "1 while new connections are refused as paused.",
           uint64_t{status.Paused ? 1u : 0u});

  m.Single("zqosrv_connections", "gauge", "Client connections admitted and open.",
           static_cast<double>(status.Connected));
  m.Single("zqosrv_connections_peak", "gauge", "Most connections open at once since the start.",
           static_cast<double>(status.PeakConnected));
  m.Single("zqosrv_max_clients", "gauge", "Most connections admitted at once (the setting).",
           static_cast<double>(status.MaxClients));
  m.Single("zqosrv_players", "gauge", "Players in the game.",
           static_cast<uint64_t>(status.Players->size()));

  const TServerCounters& c = status.Counters;
  m.Single("zqosrv_connections_admitted_total", "counter", "Connections admitted.", c.Admitted);
  ByReason(m, "zqosrv_connections_refused_total", "Connections refused at once", REFUSAL_REASONS,
           [&](std::size_t i) { return c.Refused.At(i); });
  ByReason(m, "zqosrv_clients_dropped_total", "Connections the server closed", DROP_REASONS,
           [&](std::size_t i) { return c.Dropped.At(i); });

  const TTrafficCounters& t = status.Traffic;
  m.Family("zqosrv_messages_received_total", "counter",
           "Whole messages received from clients, by type and transport.");
  ByType(m, "zqosrv_messages_received_total",
         [&](TTransport via, uint8_t code) { return t.ReceivedMessages(via, code); });
  m.Family("zqosrv_messages_sent_total", "counter",
           "Messages sent (or queued for sending) to clients, by type and transport.");
  ByType(m, "zqosrv_messages_sent_total",
         [&](TTransport via, uint8_t code) { return t.SentMessages(via, code); });
  // A family's samples stand together, so one loop per family.
  m.Family("zqosrv_received_bytes_total", "counter", "Bytes received from clients.");
  for (TTransport via : {TTransport::Tcp, TTransport::Udp})
    m.Sample("zqosrv_received_bytes_total", t.ReceivedBytes(via),
             {{"transport", TransportLabel(via)}});
  m.Family("zqosrv_sent_bytes_total", "counter", "Bytes sent (or queued) to clients.");
  for (TTransport via : {TTransport::Tcp, TTransport::Udp})
    m.Sample("zqosrv_sent_bytes_total", t.SentBytes(via), {{"transport", TransportLabel(via)}});
  m.Single("zqosrv_messages_unaddressed_total", "counter",
           "Game messages for a GUID that no connection held and no departing player had: a "
           "fault of the game.",
           status.Unaddressed);
  m.Single("zqosrv_messages_rate_limited_total", "counter",
           "Game messages dropped by a connection's message budget.", status.RateLimited);

  const std::pair<const char*, const std::optional<TQueueStatus>&> queues[] = {
      {"game", status.GameQueue}, {"dispatch", status.DispatchQueue}};
  m.Family("zqosrv_queue_depth", "gauge", "Messages waiting in a queue between threads.");
  for (const auto& [name, queue] : queues)
    if (queue)
      m.Sample("zqosrv_queue_depth", static_cast<uint64_t>(queue->Depth), {{"queue", name}});
  m.Family("zqosrv_queue_full_total", "counter", "Messages a full queue refused.");
  for (const auto& [name, queue] : queues)
    if (queue) m.Sample("zqosrv_queue_full_total", queue->Refused, {{"queue", name}});

  m.Single("zqosrv_beats_sent_total", "counter", "Heartbeat BEATs sent.", c.BeatsSent);
  m.Single("zqosrv_beats_missed_total", "counter",
           "Heartbeat cycles that found a client's last BEAT unacknowledged.", c.BeatsMissed);

  if (status.UpdateDurations)
    m.Histogram("zqosrv_update_players_duration_seconds",
                "Time one UpdatePlayers took on the game thread.", *status.UpdateDurations);
  if (status.BeatRoundTrips)
    m.Histogram("zqosrv_beat_round_trip_seconds",
                "Time from a heartbeat BEAT's sending to its valid BEATACK.",
                *status.BeatRoundTrips);
  if (status.LoginChecks)
    m.Histogram("zqosrv_login_check_duration_seconds",
                "Time the login worker took to decide one login (account, bans, password hash).",
                *status.LoginChecks);

  m.Single("zqosrv_admin_unauthorized_total", "counter",
           "Admin API requests refused for a wrong or missing token.", admin.Unauthorized);
  m.Single("zqosrv_admin_blocked_total", "counter",
           "Admin API requests refused while their address was blocked.", admin.Blocked);
  m.Single("zqosrv_admin_event_followers", "gauge", "Readers of the event stream.",
           admin.Followers);
  m.Single("zqosrv_admin_event_followers_dropped_total", "counter",
           "Event stream readers closed because they fell too far behind.", admin.FollowersDropped);
  m.Single("zqosrv_admin_cross_origin_total", "counter",
           "Admin API changes refused as sent from another origin.", admin.CrossOrigin);
  m.Single("zqosrv_admin_connections", "gauge", "Connections to the admin API open now.",
           admin.Connections);
  const THttpRefusals& r = admin.Refusals;
  const std::array<uint64_t, HTTP_REFUSAL_REASONS.size()> refused = {r.Connections, r.PerAddress,
                                                                     r.Head, r.Body, r.Deadline};
  ByReason(m, "zqosrv_admin_refused_total",
           "Admin API connections closed at once and requests refused by its limits",
           HTTP_REFUSAL_REASONS, [&](std::size_t i) { return refused[i]; });

  const TProcessStats p = ReadProcessStats();
  m.Single("process_cpu_seconds_total", "counter", "User and system CPU time of the process.",
           p.CpuSeconds);
  m.Single("process_resident_memory_bytes", "gauge", "Resident memory of the process.",
           p.ResidentBytes);
  m.Single("process_virtual_memory_bytes", "gauge", "Virtual memory of the process.",
           p.VirtualBytes);
  if (p.StartTimeSeconds > 0) {
    m.Single("process_start_time_seconds", "gauge", "When the process started, in Unix seconds.",
             p.StartTimeSeconds);
  }
  m.Single("process_open_fds", "gauge", "File descriptors the process has open.", p.OpenFds);
  m.Single("process_max_fds", "gauge", "Most file descriptors the process may open.", p.MaxFds);
  return m.Text();
}

}  // namespace zq
