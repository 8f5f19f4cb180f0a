// CLI11 options of the plain C++ tools that take a whole number (WholeNumber.h) in a range.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "tools/cli/WholeNumber.h"

namespace zq {

// An option "--name N" that stores N in `target`; a value that breaks the rule fails the
// parse with "--name: '12x' is not a whole number from LO to HI".
template <typename T>
CLI::Option* AddWholeNumber(CLI::App& app, const std::string& name, T& target, int64_t lo,
                            int64_t hi, const std::string& help) {
  return app
      .add_option_function<std::string>(
          name,
          [&target, name, lo, hi](const std::string& text) {
            auto v = ParseWholeNumber(text, lo, hi);
            if (!v) throw CLI::ValidationError(name, WholeNumberError(text, lo, hi));
            target = static_cast<T>(*v);
          },
          help)
      ->type_name("N");
}

}  // namespace zq
