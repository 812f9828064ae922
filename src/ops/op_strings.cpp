// The operations' texts: operation names (id = OpId), group names and
// parameter labels, taken from the catalogue rows, and the few texts of the
// settings machinery.
#include <vector>

#include "base/string_table.h"
#include "ops/op_table.h"

namespace qv {
namespace {

constexpr StringEntry kSettingsTexts[] = {
    {16100, "%s is not available yet in this version of Pixanta: Q/v."},
    {16101, "Trend this color by dragging OPS into the Timeline"},
    {16102, "%s Settings"},
    {16103, "%s Contents"},
    // Row texts of the shared dialog templates.
    {16110, "Distortion%"},
    {16111, "Depth"},
    {16112, "Samples"},
    {16113, "Contrast"},
    {16114, "Brightness"},
    {16115, "Gamma"},
    {16116, "Amount %"},
    {16117, "Radius"},
    {16118, "Rotation"},
    {16119, "Frequency"},
    {16120, "Half Waves"},
    {16160, "Assign the Result as Source"},
    {16161, "Update the Time Line with this selection"},
    // The Apply entry.
    {3200, "Swap Action Image & Source"},
    {3201, "Remove Other Images"},
    {3203, "Clone Action Image as Source"},
    {16130, "To apply the effect."},
    {16131, "for Generations"},
    {16132, "Splatter"},
    {16133, "Color Map"},
    {16134, "No area selection on this image: draw one to apply the effect."},
    {16150, "Outline Position"},
};

}  // namespace

std::span<const StringEntry> OperationStrings() {
  static const std::vector<StringEntry> strings = [] {
    std::vector<StringEntry> v;
    for (const auto& g : detail::GroupDefinitions()) v.push_back({static_cast<int>(g.id), g.name});
    for (const auto& op : detail::OpDefinitions()) {
      v.push_back({static_cast<int>(op.id), op.name});
      for (const auto& s : op.slots)
        if (s.label != 0 && s.sharedWith == 0) v.push_back({static_cast<int>(s.label), s.text});
    }
    v.insert(v.end(), std::begin(kSettingsTexts), std::end(kSettingsTexts));
    return v;
  }();
  return strings;
}

}  // namespace qv
