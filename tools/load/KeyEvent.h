// A key event as load clients send it: KeyDown or KeyUp of a key (1 -y, 2 +y, 3 -x, 4 +x)
// carrying a client value, and its sending. Any thread that owns the client.
#pragma once

#include <cstdint>

#include "tools/client/ZQClient.h"

namespace zq {

struct TKeyEvent {
  bool Down = true;
  uint8_t Key = 1;
  uint32_t Value = 0;  // the client value, echoed in the ack
};

// KeyDown or KeyUp by TCP; false when it cannot leave (see TZQClient's senders).
inline bool SendKeyEvent(TZQClient& client, const TKeyEvent& e) {
  return e.Down ? client.SendKeyDown(e.Key, 0, 0, e.Value) : client.SendKeyUp(e.Key, 0, 0, e.Value);
}

}  // namespace zq
