#include "protocol/Sending.h"

#include "platform/Console.h"
#include "protocol/ZQProtocol.h"

namespace zq {

void SendTCP(TSocketID& to, std::string_view frame) {
  to.Owner.Check();
  if (!to.Socket) return;  // closed: never parked for a later owner of the number
  std::string& pending = to.PendingOut;
  if (to.CanWrite) {
    if (to.Traffic) to.Traffic->Sent(TTransport::Tcp, frame);
    if (pending.empty()) {
      to.Socket->SendText(frame);
    } else {  // keep the order: parked output first
      pending.append(frame);
      to.Socket->SendText(pending);
      pending.clear();
    }
    return;
  }
  if (pending.size() + frame.size() > MAX_PENDING_OUT) {
    ConsoleDiagnostic("pending " + std::to_string(to.Number),
                      "PendingOut full for SocketID=" + std::to_string(to.Number) +
                          ", dropped msg of " + std::to_string(frame.size()) + " bytes");
    return;
  }
  if (to.Traffic) to.Traffic->Sent(TTransport::Tcp, frame);
  pending.append(frame);
}

void SendUDP(TSocketID& to, std::string_view frame) {
  to.Owner.Check();
  if (frame.size() > MAX_UDP_PACKET) {
    ConsoleDiagnostic("udp too long", "msg too long for UDP packet: " + DescribeFrame(frame));
    return;
  }
  if (!to.UDP) {
    ConsoleDiagnostic(
        "udp nil " + std::to_string(to.Number),
        "UDP was NIL for SocketID=" + std::to_string(to.Number) + " msg=" + DescribeFrame(frame));
    return;
  }
  if (to.Traffic) to.Traffic->Sent(TTransport::Udp, frame);
  to.UDP->Send(frame);
}

}  // namespace zq
