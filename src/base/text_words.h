// The word rule shared by the program's text-file readers (operation
// settings, area selections, TimeLines, projects): a word is a run of
// letters, digits and the characters . - _ : / \ < > = ; everything else
// separates words; a double-quoted run is one word and the quotes are
// dropped. Keywords are compared without regard to case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

bool IsWordChar(char c);

// The words of one line, at most maxWords of them (the rest is ignored), so
// that a hostile line cannot make the reader allocate without bound.
std::vector<std::string> SplitWords(std::string_view line, std::size_t maxWords = 512);

bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
// The keyword comparison of the readers: the first `length` characters of
// the word and of the keyword agree without regard to case (a word shorter
// than `length` must equal the keyword's prefix of its own length and the
// keyword must be no longer than the word).
bool KeywordMatches(std::string_view word, std::string_view keyword, std::size_t length);

// A number read as "%ld" reads it: optional blanks, an optional sign, then
// decimal digits, stopping at the first other character. Empty when no digit
// follows; values beyond 64 bits saturate instead of wrapping.
std::optional<std::int64_t> ParseLong(std::string_view word);

// Reads one line of at most maxChars characters from text starting at pos
// (the rest of a longer line is skipped); the line break ("\n", "\r\n" or a
// lone "\r") is not part of the line. False at the end of the text.
bool NextLine(std::string_view text, std::size_t& pos, std::string& line, std::size_t maxChars);

}  // namespace qv
