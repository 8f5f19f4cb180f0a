// The check of a --help text for what CLI11 would show of its own.
#pragma once

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>

namespace zq::test {

// Fails the test where `help` shows CLI11's type or validator names (TEXT, DIR:DIR), its marks
// (REQUIRED, Excludes:, [Option Group: ...], "=default") or lines beyond 79 columns.
inline void ExpectNoLibraryArtefacts(const std::string& help) {
  for (const char* artefact : {":DIR", ":FILE", "REQUIRED", "Excludes", "Needs",
                               "Env:", "[Option Group", "=", "-h,--help"})
    EXPECT_EQ(help.find(artefact), std::string::npos) << artefact << " in:\n" << help;
  const std::regex typeName("\\b(TEXT|INT|UINT|FLOAT|NUMBER|BOOLEAN)\\b");
  EXPECT_FALSE(std::regex_search(help, typeName)) << help;
  std::istringstream lines(help);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_LE(line.size(), 79u) << line;
    EXPECT_FALSE(line.ends_with(' ')) << "'" << line << "'";
  }
}

}  // namespace zq::test
