#include "base/preferences.h"

#include <algorithm>

namespace qv {

void RememberRecentFile(const std::string& path) {
  auto& files = Prefs().lastFiles;
  std::string entry = path.substr(0, kLastFileMax);
  auto it = std::find(files.begin(), files.end(), entry);
  if (it == files.end()) it = files.end() - 1;
  std::rotate(files.begin(), it, it + 1);
  files.front() = entry;
}

}  // namespace qv
