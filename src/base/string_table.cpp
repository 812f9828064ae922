// The program's one table of user-visible texts, keyed by numeric id. Each
// subsystem keeps its own texts in its own file and lists them here.
#include "base/string_table.h"

#include <algorithm>
#include <vector>

namespace qv {
namespace {

constexpr std::span<const StringEntry> (*kParts[])() = {
    MessageStrings,
    OperationStrings,
    FormatStrings,
    AreaStrings,
    MenuStrings,
    ViewStrings,
    AnimStrings,
};

const std::vector<StringEntry>& Table() {
  static const std::vector<StringEntry> table = [] {
    std::vector<StringEntry> all;
    for (auto part : kParts) {
      auto entries = part();
      all.insert(all.end(), entries.begin(), entries.end());
    }
    std::stable_sort(all.begin(), all.end(), [](const StringEntry& a, const StringEntry& b) { return a.id < b.id; });
    return all;
  }();
  return table;
}

const StringEntry* Find(int id) {
  const auto& table = Table();
  auto it = std::lower_bound(table.begin(), table.end(), id, [](const StringEntry& e, int key) { return e.id < key; });
  return (it == table.end() || it->id != id) ? nullptr : &*it;
}

}  // namespace

std::string_view LoadString(int id) {
  const StringEntry* e = Find(id);
  return e ? e->text : std::string_view{};
}

bool HasString(int id) { return Find(id) != nullptr; }

std::vector<int> DuplicateStringIds() {
  std::vector<int> dups;
  const auto& table = Table();
  for (std::size_t i = 1; i < table.size(); ++i)
    if (table[i].id == table[i - 1].id && (dups.empty() || dups.back() != table[i].id)) dups.push_back(table[i].id);
  return dups;
}

}  // namespace qv
