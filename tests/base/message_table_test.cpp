// The one table of message texts below the front ends against the resource string table the dialogs load
// their texts from: the resource script is read as the resource compiler reads it (STRINGTABLE lines naming a
// number and a text), so a text that is wrong, missing or extra for any number fails here.
#include "base/message_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

namespace su {
namespace {

std::string ReadSource(const std::string& relative) {
  std::ifstream in(std::string(SU_SOURCE_DIR) + "/" + relative, std::ios::binary);
  std::ostringstream whole;
  whole << in.rdbuf();
  return whole.str();
}

// The value of each "#define NAME value" line of a header, the value as written.
std::map<std::string, std::string> Defines(const std::string& text) {
  std::map<std::string, std::string> defines;
  const std::regex line(R"(^#define[ \t]+(\w+)[ \t]+(.*?)[ \t]*$)", std::regex::multiline);
  for (auto it = std::sregex_iterator(text.begin(), text.end(), line); it != std::sregex_iterator(); ++it)
    defines[(*it)[1]] = (*it)[2];
  return defines;
}

// The bytes of a run of C string literals ("a\n" "b"), with the escapes the string table uses.
std::string Literal(const std::string& written) {
  std::string bytes;
  bool inside = false;
  for (std::size_t i = 0; i < written.size(); ++i) {
    const char c = written[i];
    if (!inside) {
      if (c == '"') inside = true;
      continue;
    }
    if (c == '"') {
      inside = false;
    } else if (c != '\\' || i + 1 >= written.size()) {
      bytes += c;
    } else {
      const char e = written[++i];
      if (e == 'n') bytes += '\n';
      else if (e == 't') bytes += '\t';
      else if (e == 'x') {
        std::size_t used = 0;
        bytes += static_cast<char>(std::stoi(written.substr(i + 1, 2), &used, 16));
        i += used;
      } else bytes += e;
    }
  }
  return bytes;
}

struct ResourceString {
  std::string textName;  // the TEXT_ macro the script names
  std::string text;
};

// The resource script's STRINGTABLE by number, each name resolved through the headers it includes.
std::map<std::int32_t, ResourceString> ResourceStrings() {
  const std::map<std::string, std::string> numbers = Defines(ReadSource("resources/message_numbers.h"));
  const std::map<std::string, std::string> texts = Defines(ReadSource("resources/strings.h"));
  const std::string script = ReadSource("resources/songuploader.rc");
  std::map<std::int32_t, ResourceString> table;
  const std::size_t start = script.find("\nSTRINGTABLE");
  if (start == std::string::npos) return table;
  std::istringstream lines(script.substr(start + 1));
  std::string line;
  std::getline(lines, line);  // STRINGTABLE
  std::getline(lines, line);  // BEGIN
  const std::regex entry(R"(^\s*(\w+)\s+(\w+)\s*$)");
  while (std::getline(lines, line) && line.rfind("END", 0) != 0) {
    std::smatch m;
    if (!std::regex_match(line, m, entry)) {
      ADD_FAILURE() << "a STRINGTABLE line this test cannot read: " << line;
      continue;
    }
    const auto number = numbers.find(m[1]);
    const auto text = texts.find(m[2]);
    if (number == numbers.end() || text == texts.end()) {
      ADD_FAILURE() << "a STRINGTABLE line naming what the headers do not define: " << line;
      continue;
    }
    table[std::stoi(number->second)] = ResourceString{m[2], Literal(text->second)};
  }
  return table;
}

TEST(MessageTable, EveryNumberHasTheTextOfTheResourceStringTable) {
  const std::map<std::int32_t, ResourceString> resources = ResourceStrings();
  ASSERT_GE(resources.size(), 20u) << "the resource script's STRINGTABLE was not found";
  // Every number the program could raise or show, in the table or not.
  for (std::int32_t number = -1; number <= 1000; ++number) {
    const auto resource = resources.find(number);
    const std::string expected = resource != resources.end() ? resource->second.text : "";
    EXPECT_EQ(MessageText(number), expected) << "message " << number;
    EXPECT_EQ(FindMessage(number) != nullptr, resource != resources.end()) << "message " << number;
    EXPECT_EQ(ShownFailure(number), resource != resources.end() ? number : 44) << "message " << number;
  }
  // The script pairs each number with the text of the same number.
  for (const auto& [number, resource] : resources) {
    EXPECT_EQ(resource.textName, "TEXT_" + std::to_string(number));
    EXPECT_FALSE(resource.text.empty()) << "message " << number;
  }
}

TEST(MessageTable, ReadsTheEscapesOfTheStringTable) {
  EXPECT_EQ(Literal(R"("a\nb" "c\"d")"), "a\nbc\"d");
  EXPECT_EQ(Literal(R"("\x83\x66%d\\")"), "\x83\x66%d\\");
}

}  // namespace
}  // namespace su
