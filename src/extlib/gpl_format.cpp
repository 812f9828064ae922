#include "extlib/gpl_format.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

namespace qvpal {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// "R G B [name]": three numbers first, each 0..255 after clamping.
bool ParseColourLine(std::string_view line, int (&rgb)[3]) {
  std::size_t i = 0;
  for (int& c : rgb) {
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    if (i >= line.size() || !std::isdigit(static_cast<unsigned char>(line[i]))) return false;
    long v = 0;
    for (; i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])); ++i) v = std::min(v * 10 + (line[i] - '0'), 100000L);
    c = static_cast<int>(std::min(v, 255L));
  }
  return true;
}

}  // namespace

int EntryCount(const PaletteRecord& palette) {
  return palette.count <= 0 ? 256 : std::min<int>(palette.count, QVPAL_MAX_ENTRIES);
}

bool ParseGpl(std::string_view text, PaletteRecord& palette) {
  auto nextLine = [&text]() {
    auto end = text.find('\n');
    std::string_view line = Trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    return line;
  };
  if (nextLine() != "GIMP Palette") return false;
  std::string name;
  std::vector<std::array<std::uint8_t, 3>> colours;
  while (!text.empty() && colours.size() < QVPAL_MAX_ENTRIES) {
    std::string_view line = nextLine();
    if (line.empty() || line.front() == '#') continue;
    if (line.rfind("Name:", 0) == 0) {
      name = std::string(Trim(line.substr(5)));
      continue;
    }
    if (line.rfind("Columns:", 0) == 0) continue;
    int rgb[3];
    if (!ParseColourLine(line, rgb)) return false;
    colours.push_back({static_cast<std::uint8_t>(rgb[0]), static_cast<std::uint8_t>(rgb[1]), static_cast<std::uint8_t>(rgb[2])});
  }
  if (colours.empty()) return false;
  for (std::size_t i = 0; i < colours.size(); ++i) {
    palette.red[i] = colours[i][0];
    palette.green[i] = colours[i][1];
    palette.blue[i] = colours[i][2];
  }
  palette.count = static_cast<int32_t>(colours.size());
  if (!name.empty()) {
    std::memset(palette.name, 0, sizeof palette.name);
    std::strncpy(palette.name, name.c_str(), sizeof palette.name - 1);
  }
  return true;
}

std::string FormatGpl(const PaletteRecord& palette) {
  std::string out = "GIMP Palette\nName: ";
  out += std::string(palette.name, strnlen(palette.name, sizeof palette.name));
  out += "\nColumns: 16\n#\n";
  char line[48];
  for (int i = 0; i < EntryCount(palette); ++i) {
    std::snprintf(line, sizeof line, "%3d %3d %3d\tIndex %d\n", palette.red[i], palette.green[i], palette.blue[i], i);
    out += line;
  }
  return out;
}

}  // namespace qvpal
