#include <gtest/gtest.h>

#include "platform/Text.h"

namespace horavex::text {
namespace {

TEST(TextTest, Cp1252RoundTripOfEveryAssignedByte) {
  for (int b = 1; b < 256; ++b) {
    if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) continue;
    std::string byte(1, static_cast<char>(b));
    EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(byte)), byte) << b;
  }
  EXPECT_EQ(Cp1252ToUtf8("\x80\xE4"), "€ä");
  EXPECT_EQ(Utf8ToCp1252("Zähler €"), "Z\xE4hler \x80");
}

TEST(TextTest, CharactersOutsideCp1252BecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1252("a\xE2\x88\x9E"
                         "b"),
            "a?b");  // ∞
  EXPECT_EQ(Cp1252Code(U'\u4E2D'), '?');
}

TEST(TextTest, InvalidUtf8KeepsItsBytesAsCharacters) {
  EXPECT_EQ(Length("\xFF\xFE"), 2u);
  EXPECT_EQ(Utf8ToCp1252("\xC3"), "\xC3");
}

TEST(TextTest, UpperCoversWindows1252Letters) {
  EXPECT_EQ(Upper("äöüß abc šœžÿ"), "ÄÖÜß ABC ŠŒŽŸ");
  EXPECT_TRUE(EqualsNoCase("Zähler", "ZÄHLER"));
  EXPECT_FALSE(EqualsNoCase("Zahler", "ZÄHLER"));
}

TEST(TextTest, AsciiUpperCaseOfEveryByteAtEveryPlaceOfAWord) {
  // Every ASCII byte, shifted through the eight places of a word and the tail after it.
  for (size_t shift = 0; shift < 8; ++shift) {
    std::string all(shift, 'a');
    for (int c = 0; c < 0x80; ++c) all.push_back(char(c));
    std::string expected = all;
    for (char& c : expected) c = AsciiUpper(c);
    AsciiUpperInPlace(all.data(), all.size());
    EXPECT_EQ(all, expected) << shift;
    EXPECT_TRUE(IsAscii(all));
    all.push_back(char(0x80 + shift));
    EXPECT_FALSE(IsAscii(all));
  }
}

TEST(TextTest, CountsCharactersNotBytes) {
  EXPECT_EQ(Length("Zähler"), 6u);
  EXPECT_EQ(Left("Zähler", 2), "Zä");
  EXPECT_EQ(Right("Zähler", 5), "ähler");
  EXPECT_EQ(Right("ab", 5), "ab");
}

TEST(TextTest, TrimRemovesBlanksOnly) {
  EXPECT_EQ(TrimBlanks("  a b \t "), "a b \t");
  EXPECT_EQ(TrimBlanks("   "), "");
}

}  // namespace
}  // namespace horavex::text
