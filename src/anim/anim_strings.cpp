// The texts of the TimeLine window's buttons, of the Trend window's menu and
// of the film strip window's controls, and the exposure sheet's commands.
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
    {6420, "Show &Exposure Sheet"},
    {6422, "Load Sheet"},
    {6424, "Save Sheet"},
    {6426, "Cut Sheet Cells"},
    {6428, "Copy Sheet Cells"},
    {6430, "Paste Sheet Cells"},
    {6432, "Clear Sheet Cells"},
    {6434, "Import Cell"},
    {6436, "Run Sheet Sequence"},
    {6437, "Help on Exposure Sheet"},
    {6438, "Close Exposure Window"},
    {6439, "Merge another sheet"},
    {6440, "Save selected area"},
    {6441, "Set 1's 2's placement"},
    {6442, "Frames and controls"},
    {6443, "Perform Operation"},
    {6444, "Preview Operation"},
    {6445, "Cell Sizing"},
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
