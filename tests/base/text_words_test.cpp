#include "base/text_words.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(TextWordsTest, WordsAreRunsOfWordCharactersOrQuotedRuns) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitWords("Trend[X] 1,-2\t<=a.b_c:/\\"), (V{"Trend", "X", "1", "-2", "<=a.b_c:/\\"}));
  EXPECT_EQ(SplitWords("SOURCE \"C:\\my pics\\a b.bmp\" next"), (V{"SOURCE", "C:\\my pics\\a b.bmp", "next"}));
  EXPECT_EQ(SplitWords("x \"unterminated run"), (V{"x", "unterminated run"}));
  EXPECT_EQ(SplitWords("\"\" ()"), (V{""}));
  EXPECT_EQ(SplitWords("a b c d", 2), (V{"a", "b"}));
}

TEST(TextWordsTest, KeywordsIgnoreCaseOverTheirLength) {
  EXPECT_TRUE(KeywordMatches("source", "SOURCE", 6));
  EXPECT_TRUE(KeywordMatches("SOURCES", "SOURCE", 6));
  EXPECT_FALSE(KeywordMatches("SOURC", "SOURCE", 6));
  EXPECT_TRUE(KeywordMatches("OPx", "OP", 4));
  EXPECT_TRUE(EqualsNoCase("Shape", "sHAPE"));
  EXPECT_FALSE(EqualsNoCase("Shape", "Shave"));
  EXPECT_TRUE(StartsWithNoCase("qvopset Pixanta", "QVOPSET"));
}

TEST(TextWordsTest, NumbersReadLikePercentLdWithoutOverflow) {
  EXPECT_EQ(ParseLong("42"), 42);
  EXPECT_EQ(ParseLong("-7abc"), -7);
  EXPECT_EQ(ParseLong("+3"), 3);
  EXPECT_FALSE(ParseLong("abc").has_value());
  EXPECT_FALSE(ParseLong("-").has_value());
  EXPECT_FALSE(ParseLong("").has_value());
  EXPECT_EQ(ParseLong("99999999999999999999999"), INT64_MAX);
  EXPECT_EQ(ParseLong("-99999999999999999999999"), -INT64_MAX);
}

TEST(TextWordsTest, LinesEndAtAnyBreakAndLongLinesAreCut) {
  std::string_view text = "one\r\n\ntwo\rthree\nlonger line";
  std::size_t pos = 0;
  std::string line;
  std::vector<std::string> lines;
  while (NextLine(text, pos, line, 6)) lines.push_back(line);
  EXPECT_EQ(lines, (std::vector<std::string>{"one", "", "two", "three", "longer"}));
}

}  // namespace
}  // namespace qv
