#include "base/text_words.h"

#include <algorithm>
#include <limits>

namespace qv {
namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool IsWordChar(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9')) return true;
  // Bytes above ASCII are letters of some encoding; keep names in them whole.
  if (u >= 0x80) return true;
  switch (c) {
    case '.': case '-': case '_': case ':': case '/': case '\\': case '<': case '>': case '=':
      return true;
    default:
      return false;
  }
}

std::vector<std::string> SplitWords(std::string_view line, std::size_t maxWords) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < line.size() && words.size() < maxWords) {
    char c = line[i];
    if (c == '"') {
      std::size_t end = line.find('"', i + 1);
      if (end == std::string_view::npos) end = line.size();
      words.emplace_back(line.substr(i + 1, end - i - 1));
      i = end + 1;
    } else if (IsWordChar(c)) {
      std::size_t start = i;
      while (i < line.size() && IsWordChar(line[i])) ++i;
      words.emplace_back(line.substr(start, i - start));
    } else {
      ++i;
    }
  }
  return words;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool KeywordMatches(std::string_view word, std::string_view keyword, std::size_t length) {
  std::size_t n = std::min(length, keyword.size());
  if (word.size() < n) return false;
  return EqualsNoCase(word.substr(0, n), keyword.substr(0, n));
}

std::optional<std::int64_t> ParseLong(std::string_view word) {
  std::size_t i = 0;
  while (i < word.size() && (word[i] == ' ' || word[i] == '\t')) ++i;
  bool negative = false;
  if (i < word.size() && (word[i] == '+' || word[i] == '-')) negative = word[i++] == '-';
  if (i >= word.size() || word[i] < '0' || word[i] > '9') return std::nullopt;
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  std::int64_t value = 0;
  for (; i < word.size() && word[i] >= '0' && word[i] <= '9'; ++i) {
    int digit = word[i] - '0';
    value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
  }
  return negative ? -value : value;
}

bool NextLine(std::string_view text, std::size_t& pos, std::string& line, std::size_t maxChars) {
  if (pos >= text.size()) return false;
  std::size_t end = text.find_first_of("\r\n", pos);
  if (end == std::string_view::npos) end = text.size();
  line.assign(text.substr(pos, std::min(end - pos, maxChars)));
  pos = end;
  if (pos < text.size() && text[pos] == '\r') {
    ++pos;
    if (pos < text.size() && text[pos] == '\n') ++pos;
  } else if (pos < text.size() && text[pos] == '\n') {
    ++pos;
  }
  return true;
}

}  // namespace qv
