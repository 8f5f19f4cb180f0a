// SendTCP and SendUDP: hand one framed message to a connection's TCP connection or UDP
// endpoint, counted in the traffic counters. The TCP connection keeps its output in order,
// holds it until it first can write and bounds it (a connection past the bound is closed), so
// there is one way to send by TCP. Main thread only (checked in debug builds).
#pragma once

#include <cstddef>
#include <string>

#include "protocol/ConnectionState.h"

namespace zq {

constexpr std::size_t MAX_UDP_PACKET = 1460;  // largest framed message in one datagram

// Hands the message to the record's connection; nothing for a free record, so output for a
// closed connection never reaches a later owner of its number.
void SendTCP(TSocketID& to, std::string_view frame);
// The same for a connection that has no record (a refusal at connect).
void SendTCP(ITcpConnection& connection, TTrafficCounters& traffic, std::string_view frame);

// Sends the message as one datagram from the record's UDP endpoint; a message longer than
// MAX_UDP_PACKET, or one for a record without an endpoint, is reported and dropped.
void SendUDP(TSocketID& to, std::string_view frame);

}  // namespace zq
