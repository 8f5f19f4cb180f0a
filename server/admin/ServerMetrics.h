// The metrics endpoint's text: everything the server, its queues, its game thread and its
// process count, as zqosrv_* and process_* families (see docs/ADMIN.md for the list). Main
// thread.
#pragma once

#include <cstdint>
#include <string>

#include "server/ServerSettings.h"
#include "server/ServerStatus.h"
#include "server/admin/HttpServer.h"

namespace zq {

// What the admin API counts of itself.
struct TAdminCounters {
  uint64_t Unauthorized = 0;      // requests refused for a wrong or missing token
  uint64_t Blocked = 0;           // requests refused while their address was blocked
  uint64_t Followers = 0;         // event stream readers now
  uint64_t FollowersDropped = 0;  // readers closed because they fell behind
  uint64_t CrossOrigin = 0;       // changes refused as sent from another origin
  uint64_t Connections = 0;       // connections open now
  THttpRefusals Refusals;         // what the transport refused
};

std::string ServerMetricsText(const TServerStatus& status, const TAdminCounters& admin);

}  // namespace zq
