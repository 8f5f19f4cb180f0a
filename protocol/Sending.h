// SendTCP and SendUDP: hand one framed message to a connection's TCP connection or UDP
// endpoint. TCP output waits in PendingOut until the connection can take data, and output for
// one connection is never reordered. Main thread only (checked in debug builds).
#pragma once

#include <cstddef>
#include <string>

#include "protocol/ConnectionState.h"

namespace zq {

constexpr std::size_t MAX_UDP_PACKET = 1460;       // largest framed message in one datagram
constexpr std::size_t MAX_PENDING_OUT = 1u << 20;  // bytes parked per connection at most

// Sends at once while CanWrite is set (after anything already parked), otherwise parks the
// message in PendingOut. Nothing is sent or parked for a free record; a message that would
// take PendingOut beyond MAX_PENDING_OUT is dropped with a console line.
void SendTCP(TSocketID& to, std::string_view frame);

// Sends the message as one datagram from the record's UDP endpoint; a message longer than
// MAX_UDP_PACKET, or one for a record without an endpoint, is reported and dropped.
void SendUDP(TSocketID& to, std::string_view frame);

}  // namespace zq
