#include "point_file.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include <unistd.h>

namespace zelvane {
namespace {

// A pair line is four numbers of at most a few dozen characters.
constexpr std::size_t kMaxFileBytes = kMaxPairs * 160 + 4096;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool NextNumber(std::string_view& s, double& v) {
  s = Trim(s);
  std::size_t end = 0;
  while (end < s.size() && s[end] != ' ' && s[end] != '\t') ++end;
  std::string word(s.substr(0, end));
  if (word.empty()) return false;
  // strtod takes "inf" and "nan": refused below.
  char* stop = nullptr;
  v = std::strtod(word.c_str(), &stop);
  if (stop != word.c_str() + word.size() || !std::isfinite(v)) return false;
  s.remove_prefix(end);
  return true;
}

}  // namespace

bool ParsePointFile(std::string_view text, std::vector<PointPair>& pairs, std::string& why) {
  pairs.clear();
  bool headed = false;
  int number = 0;
  while (!text.empty()) {
    const std::size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
    ++number;
    if (const std::size_t hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
    line = Trim(line);
    if (line.empty()) continue;
    const std::string at = "line " + std::to_string(number) + ": ";
    if (!headed) {
      if (line != "ZPOINTS 1") {
        why = at + "not a point file (wants \"ZPOINTS 1\" first)";
        return false;
      }
      headed = true;
      continue;
    }
    PointPair p;
    if (!NextNumber(line, p.x0) || !NextNumber(line, p.y0) || !NextNumber(line, p.x1) || !NextNumber(line, p.y1) ||
        !Trim(line).empty()) {
      why = at + "wants four finite numbers \"x0 y0 x1 y1\"";
      return false;
    }
    if (pairs.size() == kMaxPairs) {
      why = at + "more than " + std::to_string(kMaxPairs) + " pairs";
      return false;
    }
    pairs.push_back(p);
  }
  if (!headed) {
    why = "not a point file (empty)";
    return false;
  }
  return true;
}

std::string FormatPointFile(const std::vector<PointPair>& pairs) {
  std::string out = "ZPOINTS 1\n# start x, start y, end x, end y (pixels)\n";
  char line[160];
  for (const auto& p : pairs) {
    std::snprintf(line, sizeof line, "%.17g %.17g %.17g %.17g\n", p.x0, p.y0, p.x1, p.y1);
    out += line;
  }
  return out;
}

bool LoadPointFile(const std::string& path, std::vector<PointPair>& pairs, std::string& why) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    why = "cannot open the point file " + path;
    return false;
  }
  std::string text(kMaxFileBytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  if (text.size() > kMaxFileBytes) {
    why = path + ": larger than a point file of " + std::to_string(kMaxPairs) + " pairs can be";
    return false;
  }
  if (!ParsePointFile(text, pairs, why)) {
    why = path + ": " + why;
    return false;
  }
  return true;
}

bool SavePointFile(const std::string& path, const std::vector<PointPair>& pairs, std::string& why) {
  const std::string temp = path + ".tmp" + std::to_string(getpid());
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    const std::string text = FormatPointFile(pairs);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (!out) {
      why = "cannot write " + temp;
      out.close();
      std::remove(temp.c_str());
      return false;
    }
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    why = "cannot replace " + path;
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace zelvane
