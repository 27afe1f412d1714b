// Loading the converted song for a send: an image that cannot be read, or holds nothing, must stop the
// flow with message 44 before anything goes to the keyboard.
#include "base/conversion.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/run_state.h"
#include "resources/resource.h"
#include "tests/support/outcome.h"

namespace su {
namespace {

TEST(LoadSongImageToSend, EmptyOrMissingImagesAreFileErrors) {
  const std::string path = ::testing::TempDir() + "song_image_to_send.sq0";
  struct Case {
    const char* what;
    const char* contents;  // nullptr: no file at all
    test::Outcome outcome;
    std::uint32_t size;
  };
  for (const Case& c : {Case{"missing", nullptr, test::Message(IDS_FILE_ERROR), 0},
                        Case{"empty", "", test::Message(IDS_FILE_ERROR), 0},
                        Case{"three bytes", "abc", test::Returned(0), 3}}) {
    std::remove(path.c_str());
    if (c.contents != nullptr) {
      std::FILE* file = std::fopen(path.c_str(), "wb");
      ASSERT_NE(file, nullptr);
      std::fputs(c.contents, file);
      std::fclose(file);
    }
    su::Run() = RunState{};
    su::Run().convertedPath = path;
    EXPECT_EQ(test::OutcomeOf([] { LoadSongImageToSend(); }), c.outcome) << c.what;
    EXPECT_EQ(su::Run().songImageSize, c.size) << c.what;
  }
  std::remove(path.c_str());
  su::Run() = RunState{};
}

}  // namespace
}  // namespace su
