// The text of an error a test expects, for checking what it names.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/Errors.h"

namespace zq::test {

// The text of the E raised by `fn`; fails the test when nothing is raised.
template <typename E, typename Fn>
std::string ErrorTextOf(Fn fn) {
  try {
    fn();
  } catch (const E& e) {
    return e.what();
  }
  ADD_FAILURE() << "nothing raised";
  return "";
}

template <typename Fn>
std::string IoErrorOf(Fn fn) {
  return ErrorTextOf<EInOutError>(fn);
}

template <typename Fn>
std::string ConvertErrorOf(Fn fn) {
  return ErrorTextOf<EConvertError>(fn);
}

}  // namespace zq::test
