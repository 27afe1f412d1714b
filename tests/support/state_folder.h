// The folder where the program remembers the keyboard it found (the user's state folder: $XDG_STATE_HOME, or
// %LOCALAPPDATA% on Windows), a new one for every test of a binary that includes this header, removed after
// the test: what one test found never changes how another searches, and no test writes into the user's own.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace su::test {

class StateFolderPerTest : public ::testing::EmptyTestEventListener {
 public:
#ifdef _WIN32
  static constexpr const char* kVariable = "LOCALAPPDATA";
#else
  static constexpr const char* kVariable = "XDG_STATE_HOME";
#endif

  void OnTestStart(const ::testing::TestInfo&) override {
    std::random_device seed;
    folder_ = std::filesystem::temp_directory_path() / ("su_state_" + std::to_string(seed()) + std::to_string(seed()));
    Set(folder_.string());
  }
  void OnTestEnd(const ::testing::TestInfo&) override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

 private:
  static void Set(const std::string& value) {
#ifdef _WIN32
    _putenv_s(kVariable, value.c_str());
#else
    setenv(kVariable, value.c_str(), 1);
#endif
  }

  std::filesystem::path folder_;
};

// Registered once per binary, before its tests run.
inline const bool kStateFolderPerTest = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new StateFolderPerTest);
  return true;
}();

}  // namespace su::test
