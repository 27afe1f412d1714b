// The listing as the core hands it to the page: slot names cross as the keyboard's bytes, unchanged, so that
// the browser decodes them; texts stay valid JSON whatever they hold.
#include <gtest/gtest.h>

#include <string>

#include "resources/strings.h"
#include "transfer/families.h"
#include "web/core/page_json.h"

namespace su::web {
namespace {

TEST(PageJson, SlotNamesCrossAsTheKeyboardsBytes) {
  const struct {
    std::string name;
    std::string json;
  } cases[] = {
      {"Waltz \"1\"", "[87,97,108,116,122,32,34,49,34]"},
      {TEXT_IN_USE_MARKER, "[131,102,129,91,131,94,130,170,130,160,130,232,130,220,130,183]"},
      {std::string("\xB1\x00\x7F\xFF", 4), "[177,0,127,255]"},  // half-width katakana, NUL, DEL, a stray byte
      {"", "[]"},
  };
  for (const auto& c : cases) {
    Listing listing;
    listing.slots.push_back({"30", true, c.name, 5120});
    const std::string json = ListingJson(FamilyC(), listing);
    EXPECT_NE(json.find("\"name\":" + c.json + ","), std::string::npos) << json;
  }
}

TEST(PageJson, TextsAreEscaped) {
  EXPECT_EQ(JsonString("a\"b\\c\n\x01\x7F"), "\"a\\\"b\\\\c\\u000a\\u0001\\u007f\"");
  EXPECT_EQ(JsonList({"<img src=x onerror=alert(1)>", "\xC3\xA9"}), "[\"<img src=x onerror=alert(1)>\",\"\xC3\xA9\"]");
}

}  // namespace
}  // namespace su::web
