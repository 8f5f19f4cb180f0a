// The text of an error a test expects, for checking what it names.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/Errors.h"

namespace zq::test {

// The text of the EInOutError raised by `fn`; fails the test when nothing is raised.
template <typename Fn>
std::string IoErrorOf(Fn fn) {
  try {
    fn();
  } catch (const EInOutError& e) {
    return e.what();
  }
  ADD_FAILURE() << "no EInOutError";
  return "";
}

}  // namespace zq::test
