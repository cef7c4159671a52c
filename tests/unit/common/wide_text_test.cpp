#include "common/wide_text.h"

#include <gtest/gtest.h>

namespace qel {
namespace {

TEST(AppendText, FillsTheBufferExactlyAndRefusesOneMore) {
  char16_t buffer[5] = u"ab";
  EXPECT_TRUE(AppendText(buffer, 5, u"cd"));  // four characters and the terminator
  EXPECT_EQ(std::u16string(buffer), u"abcd");
  EXPECT_FALSE(AppendText(buffer, 5, u"e"));
  EXPECT_EQ(std::u16string(buffer), u"abcd") << "a refused join leaves the buffer as it was";
}

TEST(CaseMapping, ChangesOnlyTheAsciiLetters) {
  char16_t upper[] = u"az AZ 09 äé ｱ %temp%";
  UpperCaseAscii(upper);
  EXPECT_EQ(std::u16string(upper), u"AZ AZ 09 äé ｱ %TEMP%");
  char16_t lower[] = u"-AUTO Ä Z";
  LowerCaseAscii(lower);
  EXPECT_EQ(std::u16string(lower), u"-auto Ä z");
}

TEST(ToUtf8, EncodesEveryPlaneAndReplacesLoneSurrogates) {
  EXPECT_EQ(ToUtf8(u"A"), "A");
  EXPECT_EQ(ToUtf8(u"é"), "\xC3\xA9");
  EXPECT_EQ(ToUtf8(u"書"), "\xE6\x9B\xB8");
  EXPECT_EQ(ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(ToUtf8(std::u16string(1, char16_t{0xD800}) + u"x"), "\xEF\xBF\xBDx");
  EXPECT_EQ(ToUtf8(std::u16string(1, char16_t{0xDC00})), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace qel
