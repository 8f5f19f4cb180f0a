// Whole numbers on the command lines of the plain C++ tools: decimal digits with an optional
// minus sign, nothing else, within a range; and CLI11 options that take such a value.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zq {

std::optional<int64_t> ParseWholeNumber(std::string_view text, int64_t lo, int64_t hi);
// "'12x' is not a whole number from 1 to 65535"
std::string WholeNumberError(std::string_view text, int64_t lo, int64_t hi);

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
