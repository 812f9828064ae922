// The texts of the TimeLine window's buttons, of the Trend window's menu and
// of the film strip window's controls.
#include "base/string_table.h"

namespace qv {
namespace {

constexpr StringEntry kAnimStrings[] = {
    {6400, "Load TimeLine"},
    {6401, "Save TimeLine"},
    {6402, "Generate Sequence"},
    {6403, "TimeLine Frame"},
    {6404, "Time (MM:SS.)"},
    {6405, "Level"},
    {6406, "Time Object"},
    {6407, "Close TimeLine"},
    {6408, "Erase TimeLine"},
    {6409, "Set Cell Size"},
    {8014, "Move Left"},
    {8015, "Move Up"},
    {8016, "Move Down"},
    {8017, "Move Right"},
    {8021, "Sharpen Trend"},
    {8022, "Smooth Trend"},
    {8024, "Copy Trend"},
    {8025, "Paste Trend"},
    {8026, "Flip Trend"},
    {8027, "Symmetry"},
    {8028, "Dropping Slope"},
    {8029, "Rising Slope"},
    {8031, "Kill Trend"},
    {8032, "Close Trend"},
    {8033, "Trend Position"},
    {8034, "Set Extents"},
    {8035, "Use Splines"},
    {9700, "Help on Filmstrip"},
    {9701, "Play Filmstrip"},
    {9702, "Seek to Beginning"},
    {9703, "Seek to End"},
    {9704, "Rewind"},
    {9705, "Forward"},
    {9706, "Stop Filmstrip"},
    {9707, "Eject Filmstrip"},
    {9708, "Frame Position"},
    {9710, "Right one Frame"},
    {9711, "Left one Frame"},
    {9712, "Animation Speed"},
};

}  // namespace

std::span<const StringEntry> AnimStrings() { return kAnimStrings; }

}  // namespace qv
