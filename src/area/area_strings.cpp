// The names of the area modes and toolbox buttons, and of the transparency
// settings that Trends can drive.
#include "base/string_table.h"

namespace qv {
namespace {

constexpr StringEntry kAreaStrings[] = {
    {9750, "Freehand"},
    {9751, "Polygon"},
    {9752, "I-shape"},
    {9753, "Rectangle"},
    {9754, "Round Rect"},
    {9755, "Ellipse"},
    {9756, "Poly-arc"},
    {9757, "Spline"},
    {9758, "Bezier"},
    {9759, "Num Rect"},
    {9760, "Color Wand"},
    {9761, "Entire"},
    {9762, "Font"},
    {9763, "Redo"},
    {9764, "Edit Area"},
    {9765, "Color Key"},
    {9766, "Splatter"},
    {9767, "Complement"},
    {9768, "Intersection"},
    {9769, "Union"},
    {9770, "Exclude"},
    {9773, "Hold square"},
    {9774, "Hold to aspect"},
    {9775, "Hold to Source"},
    {9776, "Settings"},
    {9781, "Help on Areas"},
    {9782, "Color discriminator"},
    {14710, "Transparency: Level"},
    {14720, "Transparency: Edge Fade"},
    {14730, "Transparency: Grow"},
};

}  // namespace

std::span<const StringEntry> AreaStrings() { return kAreaStrings; }

}  // namespace qv
