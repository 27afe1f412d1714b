// The converter's reading of its input path, walked by characters of the code page it is given.
#include <gtest/gtest.h>

#include "converter/file_name.h"
#include "tests/support/code_page_932.h"

namespace su::conv {
namespace {

bool NoLeadByte(unsigned char) { return false; }

TEST(ConverterFileNameTest, OutputPathAndTitleFallbackKeepDoubleByteCharactersWhole) {
  struct Case {
    const char* what;
    LeadBytePredicate isLead;
    const char* input;
    std::size_t maxTitle;
    const char* title;
    const char* output;
  };
  // ソ 83 5C, ン 83 93, グ 83 4F, 表 95 5C.
  const Case cases[] = {
      {"932 name ending in a 5C trail byte", test::IsCp932LeadByte, "C:\\T\\1\\\x83\x5c\x83\x93\x83\x4f\x95\x5c.mid",
       64, "\x83\x5c\x83\x93\x83\x4f\x95\x5c", "C:\\T\\1\\\x83\x5c\x83\x93\x83\x4f\x95\x5c.sq0"},
      {"the same bytes read as single-byte characters", NoLeadByte, "C:\\T\\1\\\x83\x5c\x83\x93\x83\x4f\x95\x5c.mid",
       64, "", "C:\\T\\1\\\x83\x5c\x83\x93\x83\x4f\x95\x5c.sq0"},
      {"a cut never splits a character", test::IsCp932LeadByte, "C:\\\x83\x5c\x83\x93\x83\x4f.mid", 5,
       "\x83\x5c\x83\x93", "C:\\\x83\x5c\x83\x93\x83\x4f.sq0"},
      {"a dot in a folder is no extension", test::IsCp932LeadByte, "D:/v1.2/\x95\x5c", 64, "\x95\x5c",
       "D:/v1.2/\x95\x5c.sq0"},
      {"a drive without a folder", NoLeadByte, "C:tune.x.mid", 64, "tune.x", "C:tune.x.sq0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(TitleFromPath(c.input, c.maxTitle, c.isLead), c.title);
    EXPECT_EQ(WithExtension(c.input, ".sq0", c.isLead), c.output);
  }
}

}  // namespace
}  // namespace su::conv
