// Names for the cases of a parameterised test, taken from a text field of its table: ctest lists and failure
// messages then say which case it is instead of dumping the case's bytes.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace su::test {

// `text` as a test name: letters and digits kept, every other character becomes '_'.
inline std::string CaseName(const std::string& text) {
  std::string name = text.empty() ? std::string("_") : text;
  for (char& ch : name)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return name;
}

// The 4th argument of INSTANTIATE_TEST_SUITE_P: names each case after `field`.
template <typename Case>
auto NameFrom(const char* Case::*field) {
  return [field](const ::testing::TestParamInfo<Case>& info) { return CaseName(info.param.*field); };
}

}  // namespace su::test
