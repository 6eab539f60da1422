#include "presets/preset_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zelto {
namespace {

std::vector<std::uint8_t> Field(std::string_view text, std::size_t size = preset::kNameSize) {
  std::vector<std::uint8_t> f(size, 0);
  std::copy(text.begin(), text.end(), f.begin());
  return f;
}

TEST(PresetName, FieldKeepsAtMostFifteenBytesAndAlwaysEndsWithZero) {
  struct Case {
    std::string text;
    std::string kept;
  };
  const Case cases[] = {
      {"", ""},
      {"abc", "abc"},
      {"ABCDEFGHIJKLMNO", "ABCDEFGHIJKLMNO"},                                       // exactly 15
      {"ABCDEFGHIJKLMNOP", "ABCDEFGHIJKLMNO"},                                      // 16 gives its first 15
      {"ABCDEFGHIJKLMNOPQRST", "ABCDEFGHIJKLMNO"},                                  // a 20-character name
      {std::string("ab\0cd", 5), "ab"},                                             // what follows a zero is not kept
      {"\xE9\x9F\xB3\xE6\x95\x88\xE4\xB8\x80\xE4\xBA\x8C\xE4\xB8\x89\xE5\x9B\x9B",  // 6 CJK = 18 bytes
       "\xE9\x9F\xB3\xE6\x95\x88\xE4\xB8\x80\xE4\xBA\x8C\xE4\xB8\x89"},             // 5 whole ones
  };
  for (const auto& c : cases) {
    const auto field = NameToField(c.text);
    EXPECT_EQ(std::vector<std::uint8_t>(field.begin(), field.end()), Field(c.kept)) << c.text;
    EXPECT_EQ(field[preset::kNameSize - 1], 0);
  }
}

TEST(PresetName, WritingAFieldReplacesEveryOldByte) {
  std::vector<std::uint8_t> field(preset::kNameSize + 4, 'x');
  NameToField("ab", field);
  EXPECT_EQ(std::vector<std::uint8_t>(field.begin(), field.begin() + preset::kNameSize), Field("ab"));
  EXPECT_EQ(field[preset::kNameSize], 'x');  // the byte after the field is not touched
}

TEST(PresetName, ReadsUpToTheFirstZeroOfBytesZeroToFourteenAndTrimsSpaces) {
  EXPECT_EQ(NameFromField(Field("  Club 1   ")), "Club 1");
  EXPECT_EQ(NameFromField(Field("               ")), "");
  EXPECT_EQ(NameFromField(Field(std::string("ab\0cd", 5))), "ab");
  // Byte 15 never belongs to the name, even when a device left a character there.
  EXPECT_EQ(NameFromField(Field("ABCDEFGHIJKLMNOP")), "ABCDEFGHIJKLMNO");
  EXPECT_EQ(NameFromField(NameToField("Stage")), "Stage");
}

TEST(PresetName, BlankMeansNothingButSpaces) {
  EXPECT_TRUE(IsBlankName(""));
  EXPECT_TRUE(IsBlankName("     "));
  EXPECT_FALSE(IsBlankName(" a "));
  EXPECT_FALSE(IsBlankName("0"));
}

}  // namespace
}  // namespace zelto
