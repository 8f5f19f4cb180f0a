#include "protocol/Sending.h"

#include "platform/Console.h"
#include "protocol/ZQProtocol.h"

namespace zq {

void SendTCP(ITcpConnection& connection, TTrafficCounters& traffic, std::string_view frame) {
  traffic.Sent(TTransport::Tcp, frame);
  connection.SendText(frame);
}

void SendTCP(TSocketID& to, std::string_view frame) {
  to.Owner.Check();
  if (!to.Socket) return;
  if (to.Traffic) to.Traffic->Sent(TTransport::Tcp, frame);
  to.Socket->SendText(frame);
}

void SendUDP(TSocketID& to, std::string_view frame) {
  to.Owner.Check();
  if (frame.size() > MAX_UDP_PACKET) {
    ConsoleDiagnostic("udp too long", "msg too long for UDP packet: " + DescribeFrame(frame));
    return;
  }
  if (!to.UDP) {
    ConsoleDiagnostic(
        "udp nil", std::to_string(to.Number),
        "UDP was NIL for SocketID=" + std::to_string(to.Number) + " msg=" + DescribeFrame(frame));
    return;
  }
  if (to.Traffic) to.Traffic->Sent(TTransport::Udp, frame);
  to.UDP->Send(frame);
}

}  // namespace zq
