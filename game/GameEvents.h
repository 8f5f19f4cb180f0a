// What the game tells observers outside it (the admin event stream): a player joined, left or
// spoke. Made on the game manager thread; a sink that hands them to another thread copies them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace zq {

struct TGameEvent {
  enum class TKind { Join, Leave, Speech };
  TKind Kind = TKind::Join;
  uint32_t GUID = 0;
  int32_t SocketID = 0;
  std::string Name;
  uint16_t X = 0;  // where the player stands
  uint16_t Y = 0;
  std::string Text;  // Speech: the cleaned text, in its double quotes
};

using TGameEventSink = std::function<void(TGameEvent)>;

}  // namespace zq
