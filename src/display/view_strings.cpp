// The texts of the zoom commands.
#include "base/string_table.h"

namespace qv {
namespace {

constexpr StringEntry kViewStrings[] = {
    {9410, "&Zoom In"},
    {9420, "Zoom &Out"},
    {9718, "Zoom In"},
    {9720, "Zoom Out"},
};

}  // namespace

std::span<const StringEntry> ViewStrings() { return kViewStrings; }

}  // namespace qv
