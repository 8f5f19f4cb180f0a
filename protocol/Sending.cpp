#include "protocol/Sending.h"

#include "platform/Console.h"

namespace zq {
namespace {

bool IsClientNumber(int32_t n) {
  return n >= 1 && n <= MAX_SOCKETS;
}

}  // namespace

void SendTCP(TServerTables& tables, int32_t n, const std::string& frame) {
  // 64 is the answer of a failed lookup, which has reported itself already.
  if (!IsClientNumber(n)) return;
  ITcpConnection* connection = tables.Sockets[n].Socket;
  if (!connection) return;  // closed: never parked for a later owner of the number
  std::string& pending = tables.PendingOut[n];
  if (tables.CanWrite[n]) {
    if (pending.empty()) {
      connection->SendText(frame);
    } else {  // keep the order: parked output first
      pending.append(frame);
      connection->SendText(pending);
      pending.clear();
    }
    return;
  }
  if (pending.size() + frame.size() > MAX_PENDING_OUT) {
    ConsoleLine("PendingOut full for SocketID=" + std::to_string(n) + ", dropped msg of " +
                std::to_string(frame.size()) + " bytes");
    return;
  }
  pending.append(frame);
}

void SendUDP(TServerTables& tables, int32_t n, const std::string& frame) {
  if (frame.size() > MAX_UDP_PACKET) {
    ConsoleLine("msg too long for UDP packet: " + frame);
    return;
  }
  IUdpEndpoint* udp = (n >= 1 && n <= NOT_FOUND) ? tables.Sockets[n].UDP.get() : nullptr;
  if (!udp) {
    ConsoleLine("UDP was NIL for SocketID=" + std::to_string(n) + " msg=" + frame);
    return;
  }
  udp->Send(frame);
}

}  // namespace zq
