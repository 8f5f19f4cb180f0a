// SendTCP and SendUDP: hand one framed message to the connection or the UDP endpoint of a
// socket number. TCP output waits in PendingOut until the connection can take data, and
// output for one connection is never reordered. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol/ConnectionState.h"

namespace zq {

constexpr std::size_t MAX_UDP_PACKET = 1460;       // largest framed message in one datagram
constexpr std::size_t MAX_PENDING_OUT = 1u << 20;  // bytes parked per connection at most

// Sends at once while CanWrite[n] is set (after anything already parked), otherwise parks
// the message in PendingOut[n]. A message for 64 or for a number without a connection is
// dropped; so is one that would take PendingOut beyond MAX_PENDING_OUT (with a console line).
void SendTCP(TServerTables& tables, int32_t n, const std::string& frame);

// Sends the message as one datagram from entry n's UDP endpoint; a message longer than
// MAX_UDP_PACKET, or one for an entry without an endpoint, is reported and dropped.
void SendUDP(TServerTables& tables, int32_t n, const std::string& frame);

}  // namespace zq
