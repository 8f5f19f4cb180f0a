// Byte strings written out in tests: Bytes({0x0E, 0, 0, 0x2B}).
#pragma once

#include <initializer_list>
#include <string>

namespace zq::test {

inline std::string Bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

}  // namespace zq::test
