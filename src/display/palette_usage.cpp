// Palette usage files (.PLU): the pick / use / skip code of each render
// palette entry, as text.
//
//   PALUSAGE
//   Size 256
//   0 p
//   1 u
//   ...
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <memory>
#include <string>
#include <system_error>

#include "base/atomic_file.h"
#include "base/messages.h"
#include "display/colour_reduce.h"
#include "extlib/palette_library.h"

namespace qv {
namespace {

constexpr int kMessageIncorrectType = 17;
constexpr int kMessageCannotOpen = 71;
constexpr int kMessageCannotCreate = 84;
constexpr int kMaxUsageLines = 2000;
constexpr std::size_t kLineLimit = 256;  // longer lines are cut; nothing valid is that long

struct CloseFile {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, CloseFile>;

bool StartsWithNoCase(const std::string& line, const char* prefix) {
  for (std::size_t i = 0; prefix[i]; ++i)
    if (i >= line.size() || std::tolower(static_cast<unsigned char>(line[i])) != prefix[i]) return false;
  return true;
}

// One line, without its end, cut at kLineLimit; false at the end of the file.
bool ReadLine(std::FILE* f, std::string& line) {
  line.clear();
  int c;
  bool any = false;
  while ((c = std::fgetc(f)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (line.size() < kLineLimit) line.push_back(static_cast<char>(c));
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return any;
}

// The first whole number in text (an optional sign and digits), saturated
// to the range of long long; false when there is none.
bool FirstNumber(const std::string& text, std::size_t from, long long& value, std::size_t& end) {
  std::size_t i = from;
  while (i < text.size() && !std::isdigit(static_cast<unsigned char>(text[i])) && text[i] != '-') ++i;
  if (i >= text.size()) return false;
  const char* first = text.data() + i;
  const char* last = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(first, last, value);
  if (ptr == first) return false;
  if (ec == std::errc::result_out_of_range) value = *first == '-' ? -(1LL << 40) : (1LL << 40);
  end = static_cast<std::size_t>(ptr - text.data());
  return true;
}

std::uint8_t CodeOfLetter(char c) {
  switch (std::tolower(static_cast<unsigned char>(c))) {
    case 'p': return kUsePick;
    case 'u': return kUseAsIs;
    case 's': return kUseSkip;
    default: return 0xFF;
  }
}

}  // namespace

int SavePaletteUsage(const std::filesystem::path& path) {
  int count = PaletteCount(PaletteLibrary().render);
  AtomicFile file;
  bool ok = file.Open(path, "wb");
  if (ok) {
    ok = std::fprintf(file.get(), "PALUSAGE\nSize %ld\n", static_cast<long>(count)) > 0;
    for (int i = 0; ok && i < count; ++i) ok = std::fprintf(file.get(), "%ld %c\n", static_cast<long>(i), UsageLetter(i)) > 0;
    ok = ok && file.Commit();
  }
  if (!ok) {
    ShowMessageFile(kMessageCannotCreate, path.string());
    return 1;
  }
  return 0;
}

int LoadPaletteUsage(const std::filesystem::path& path) {
  ColourReduceState& s = ReduceState();
  PaletteRecord& render = PaletteLibrary().render;
  File f(std::fopen(path.c_str(), "rb"));
  if (!f) {
    ShowMessage(kMessageCannotOpen);
    return 1;
  }
  std::string line;
  if (!ReadLine(f.get(), line) || !StartsWithNoCase(line, "palusa")) {
    ShowMessageFile(kMessageIncorrectType, path.string());
    return 1;
  }
  for (int n = 0; n < kMaxUsageLines && ReadLine(f.get(), line); ++n) {
    long long value = 0;
    std::size_t end = 0;
    if (StartsWithNoCase(line, "siz")) {
      if (FirstNumber(line, 3, value, end)) render.count = static_cast<std::int32_t>(std::clamp(value, 2LL, 1024LL));
      continue;
    }
    if (line.size() <= 2 || !FirstNumber(line, 0, value, end)) continue;
    std::size_t i = end;
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    if (i >= line.size()) continue;
    std::uint8_t code = CodeOfLetter(line[i]);
    if (code == 0xFF) continue;
    // The usage table has one code per entry the record can hold.
    int last = std::min(PaletteCount(render), kMaxPaletteEntries) - 1;
    s.usage[static_cast<std::size_t>(std::clamp(value, 0LL, static_cast<long long>(last)))] = code;
  }
  return 0;
}

}  // namespace qv
