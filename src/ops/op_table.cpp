// The catalogue rows in menu order. Label ids are the string ids of the
// parameter labels; within an operation they run ten apart except where an
// operation's labels were placed around those of its neighbours.
#include "ops/op_table.h"

namespace qv::detail {
namespace {

using enum ApplyKind;

constexpr std::int32_t kAny = 99999;  // the open trend range of angles and offsets
constexpr std::int32_t kPackedMax = 0xFFFFFF;

// A number whose trend range is its dial range.
constexpr SlotDef N(std::uint32_t label, std::string_view text, std::int32_t def, std::int32_t lo, std::int32_t hi) {
  return {label, text, def, lo, hi, lo, hi, 0, kParamNumber, 0};
}
// A number with its own trend range.
constexpr SlotDef T(std::uint32_t label, std::string_view text, std::int32_t def, std::int32_t lo, std::int32_t hi,
                    std::int32_t tlo, std::int32_t thi) {
  return {label, text, def, lo, hi, tlo, thi, 0, kParamNumber, 0};
}
// An angle: wraps at 360.
constexpr SlotDef W(std::uint32_t label, std::string_view text, std::int32_t def, std::int32_t lo, std::int32_t hi,
                    std::int32_t tlo, std::int32_t thi) {
  return {label, text, def, lo, hi, tlo, thi, 360, kParamNumber, 0};
}
constexpr SlotDef S(std::uint32_t label, std::string_view text, std::int32_t def) { return N(label, text, def, 0, 1); }
constexpr SlotDef C8(std::uint32_t label, std::string_view text, std::int32_t def) { return N(label, text, def, 0, 255); }
// A packed colour: cannot be trended.
constexpr SlotDef Packed(std::uint32_t label, std::string_view text, std::int32_t def) {
  return {label, text, def, 0, kPackedMax, 0, kPackedMax, 0, kParamColour, 0};
}
// The parameter of another operation with this label (same binding, label, ranges, default).
constexpr SlotDef Shared(OpId owner, std::uint32_t label) {
  SlotDef s;
  s.label = label;
  s.sharedWith = owner;
  return s;
}

constexpr GroupDef kGroups[] = {
    {kLightingGroup, "Lighting Group"}, {kMotionGroup, "Motion Group"},   {kGeometricGroup, "Geometric Group"},
    {kPatternGroup, "Pattern Group"},   {kTextureGroup, "Texture Group"}, {kMathGroup, "Math Group"},
    {kCollageGroup, "Collage Group"},   {kStandardGroup, "Standard Group"}, {kAlphaGroup, "Alpha Group"},
    {kPlasmaGroup, "Plasma Group"},     {kZelvaneGroup, "Zelvane Group"},
};

constexpr OpDef kOps[] = {
    {3111, "Asterize", kLightingGroup, "AstDlg", Pixel, false, false,
     {C8(10100, "Arm Red", 64), C8(10110, "Arm Green", 64), C8(10120, "Arm Blue", 255),
      N(10130, "Center Saturation", 0, 0, 100), N(10140, "Arm Width", 10, 0, 100),
      W(10150, "Rotation", 0, 0, 360, -kAny, kAny), T(10160, "Number of Arms", 4, 1, 100, 1, kAny),
      S(10170, "Center Spot", 0), S(10180, "Additive", 0), S(10190, "Taper Arms", 1)}},
    {3112, "Annular", kLightingGroup, "AnnDlg", Pixel, false, false,
     {C8(10210, "Red", 64), C8(10220, "Green", 64), C8(10230, "Blue", 255), N(10240, "Saturation", 0, 0, 100),
      S(10250, "Additive", 0)}},
    {3113, "Refract", kLightingGroup, "RefDlg", Pixel, false, false,
     {W(10310, "Rotation", 180, 0, 360, -kAny, kAny)}},
    {3114, "Shine", kLightingGroup, "C4Dlg", Generation, false, false,
     {T(10410, "Width", 5, 0, 50, 0, 2000), T(10420, "Height", 20, 0, 50, 0, 2000),
      T(10430, "Amount", 100, 0, 100, 0, 400), N(10440, "Threshold", 80, 0, 100)}},
    {3211, "Lightning", kPlasmaGroup, "LigDlg", Image, false, false,
     {T(15590, "Width", 5, 0, 20, 0, 100), W(15650, "Direction", 45, 0, 360, -kAny, kAny),
      T(15660, "Branching", 10, 0, 100, 0, 1000), T(15670, "Seed", 19, 0, 9999, 0, kAny),
      T(15680, "Zagging", 50, 0, 100, 0, 200), C8(15690, "Red", 5), C8(15700, "Green", 30), C8(15710, "Blue", 255),
      N(15720, "Saturation", 20, 0, 100), N(15730, "Glow", 25, 0, 100), N(15740, "Taper", 0, 0, 100)}},
    {3212, "Aura", kPlasmaGroup, "AurDlg", Image, false, true,
     {N(15750, "Width", 20, 0, 100), N(15760, "Connect", 100, 0, 100), W(15770, "Radiate", 0, 0, 360, 0, 360),
      T(15780, "Seed", 5, 0, 9999, 0, kAny), T(15790, "Spokes", 200, 0, 360, 0, 1000),
      N(15800, "Spoke Var", 50, 0, 100), T(15810, "Rings", 5, 0, 100, 0, 1000), N(15820, "Ring Var", 50, 0, 100),
      N(15830, "Inner Fade", 0, 0, 100), C8(15840, "Inner Red", 50), C8(15850, "Inner Green", 50),
      C8(15860, "Inner Blue", 255), N(15870, "Outer Fade", 0, 0, 100), C8(15880, "Outer Red", 255),
      C8(15890, "Outer Green", 255), C8(15900, "Outer Blue", 50)}},
    {3213, "Fire", kPlasmaGroup, "FirDlg", Image, false, true,
     {T(15910, "Length", 600, 0, 1000, 0, 8000), W(15920, "Direction", 0, 0, 360, 0, 360),
      W(15930, "Propagate", 0, 0, 360, 0, 360), T(15940, "Seed", 5, 0, 9999, 0, kAny),
      Packed(15950, "Base Color", 0xFF0000), Packed(15960, "Mid Color", 0xFFFFFF),
      Packed(15970, "End Color", 0x00F0F0), Packed(15980, "Tip Color", 0x004B64),
      T(15990, "Lat Structure", 12, 0, 200, 0, 800), T(16000, "Lat Turb", 50, 0, 100, 0, 800),
      T(16010, "Long Structure", 5, 0, 200, 0, 800), T(16020, "Long Turb", 100, 0, 100, 0, 800),
      T(16030, "Wobbles", 10, 0, 20, 0, 200), T(16040, "Wobble Amount", 50, 0, 100, 0, 1000),
      T(16050, "Distortion", 20, 0, 100, 0, 1000)}},
    {3121, "Motion Blur", kMotionGroup, "C3Dlg", Generation, false, true,
     {T(10510, "Length", 50, 0, 200, 0, 2000), W(10520, "Direction", 0, -360, 360, -kAny, kAny),
      N(10530, "Amount", 70, 0, 100)}},
    {3122, "Spiral Blur", kMotionGroup, "C3Dlg", Generation, false, true,
     {T(10610, "Length", 50, 0, 200, 0, 2000), W(10620, "Direction", 120, -360, 360, -kAny, kAny),
      N(10630, "Amount", 70, 0, 100)}},
    {3123, "Explode", kMotionGroup, "C2Dlg", Generation, false, true,
     {T(10710, "Length", 25, -200, 200, -2000, 2000), N(10720, "Amount", 80, 0, 100)}},
    {3131, "Dome", kGeometricGroup, "C1Dlg", Warp, false, true, {T(10810, "Distortion", 200, 0, 500, -9000, 9000)}},
    {3132, "Caricature", kGeometricGroup, "C1Dlg", Warp, false, true,
     {T(10910, "Distortion", 95, 0, 300, -9000, 9000)}},
    {3133, "Swirl", kGeometricGroup, "C1Dlg", Warp, false, true, {W(11010, "Angle", 100, -360, 360, -kAny, kAny)}},
    {3134, "Waves", kGeometricGroup, "WavDlg", Warp, false, true,
     {T(11110, "X Length", 1, 1, 400, 1, 800), T(11120, "X Front", 0, -200, 200, -400, 400),
      T(11130, "X Side", 0, -200, 200, -400, 400), T(11140, "Y Length", 20, 1, 400, 1, 800),
      T(11150, "Y Front", 0, -200, 200, -400, 400), T(11160, "Y Side", 30, -200, 200, -400, 400),
      N(11170, "Shading", 20, 0, 100), W(11180, "X Phase", 0, 0, 360, -kAny, kAny),
      W(11190, "Y Phase", 0, 0, 360, -kAny, kAny)}},
    {3135, "Radial Wave", kGeometricGroup, "C6Dlg", Warp, false, true,
     {N(11210, "Distortion", 25, 0, 100), T(11220, "Length", 5, 0, 100, 0, 900),
      T(11230, "Half-waves", 10, 0, 200, 0, 800), N(11240, "Radius", 0, 0, 1000),
      W(11250, "Phase", 0, 0, 360, -kAny, kAny), N(11260, "Shading", 20, 0, 100)}},
    {3136, "Perspective", kGeometricGroup, "PersDlg", Image, true, true,
     {W(11310, "X Rot", 0, 0, 360, -kAny, kAny), W(11320, "Y Rot", 0, 0, 360, -kAny, kAny),
      W(11330, "Z Rot", 0, 0, 360, -kAny, kAny), T(11340, "X Dist", 0, -500, 500, -kAny, kAny),
      T(11350, "Y Dist", 0, -500, 500, -kAny, kAny), T(11360, "Z Dist", 480, -500, 500, -kAny, kAny),
      T(11370, "X Mag", 200, 0, 1000, 0, 9000), T(11380, "Y Mag", 200, 0, 1000, 0, 9000)}},
    {3137, "Rotate", kGeometricGroup, "RotDlg", Image, false, true,
     {W(11410, "Angle", 45, -180, 180, -kAny, kAny), S(11420, "In Place", 1)}},
    {3138, "Flip", kGeometricGroup, "FlpDlg", Image, false, true, {S(11430, "Vertical", 1), S(11440, "Horizontal", 0)}},
    {3139, "Turn 90", kGeometricGroup, "R90Dlg", Image, false, true, {N(11450, "Steps", 1, 0, 3)}},
    {3129, "Turbulence", kGeometricGroup, "TurDlg", Warp, false, true,
     {T(15280, "Whorls", 20, 0, 100, 0, 800), N(15290, "Swirliness", 50, 0, 100),
      T(15300, "Movement", 100, 0, 800, 0, 8000), N(15330, "Seed", 5, 0, 1000)}},
    {3128, "Surface Warp", kGeometricGroup, "WrpDlg", Warp, true, true,
     {W(15340, "Direction", 45, 0, 360, 0, 360), N(15350, "Amount", 20, 0, 100), N(15360, "Mid Level", 127, 0, 255),
      N(15370, "Shading", 5, 0, 100)}},
    {3141, "3-D Net", kPatternGroup, "NetDlg", Image, false, false,
     {C8(11510, "Red", 0), C8(11520, "Green", 255), C8(11530, "Blue", 255), T(11540, "X Spacing", 20, 1, 100, 1, 800),
      T(11550, "Y Spacing", 20, 1, 100, 1, 800), T(11560, "X movement", 30, 1, 100, 1, 800),
      T(11570, "Y movement", 30, 1, 100, 1, 800), N(11580, "Line Width", 2, 1, 20)}},
    {3142, "Random Tile", kPatternGroup, "TilDlg", Image, false, false,
     {C8(11610, "Red", 0), C8(11620, "Green", 0), C8(11630, "Blue", 127), T(11640, "Width", 20, 1, 100, 1, 800),
      T(11650, "Height", 20, 1, 100, 1, 800), T(11660, "X movement", 30, 1, 100, 0, 2000),
      T(11670, "Y movement", 30, 1, 100, 0, 2000), N(11680, "Amount", 50, 0, 100),
      T(11690, "Border", 2, 0, 20, 0, 800)}},
    {3143, "Pixelize", kPatternGroup, "PixDlg", Image, false, false,
     {C8(11710, "Red", 0), C8(11720, "Green", 0), C8(11730, "Blue", 127), T(11740, "X size", 20, 1, 100, 1, 800),
      T(11750, "Y size", 20, 1, 100, 1, 800), T(11760, "Width", 2, 0, 20, 0, 800)}},
    {3144, "Cellular", kPatternGroup, "CellDlg", Image, false, false,
     {C8(11810, "Red", 127), C8(11820, "Green", 127), C8(11830, "Blue", 230), S(11840, "Discrete Edge", 0),
      S(11850, "Translucent", 0), T(11860, "Width", 20, 1, 100, 1, 800), T(11870, "Height", 20, 1, 100, 1, 800),
      N(11880, "Edge Fade In", 50, 0, 100)}},
    {3145, "Lined", kPatternGroup, "LineDlg", Image, false, false,
     {C8(11910, "Red", 255), C8(11920, "Green", 255), C8(11930, "Blue", 255), S(11940, "Place Background", 1),
      C8(11950, "Background Red", 0), C8(11960, "Background Green", 0), C8(11970, "Background Blue", 0),
      T(11980, "Height", 20, 1, 100, 1, 800)}},
    {3146, "Linear Fill", kPatternGroup, "BanDlg", Generation, false, false,
     {W(12010, "Angle", 45, 0, 360, -kAny, kAny), W(12020, "Cycle", 0, 0, 360, -kAny, kAny), S(12030, "Smooth", 1)}},
    {3147, "Concentric", kPatternGroup, "CenDlg", Generation, false, false,
     {W(15010, "Cycle", 0, 0, 360, -kAny, kAny), N(15020, "X Bias", 30, -100, 100), N(15030, "Y Bias", -30, -100, 100),
      S(15040, "Smooth", 1)}},
    {3148, "Radiating", kPatternGroup, "CenDlg", Generation, false, false,
     {W(15110, "Cycle", 0, 0, 360, -kAny, kAny), N(15120, "X Bias", 0, -100, 100), N(15130, "Y Bias", 0, -100, 100),
      S(15140, "Smooth", 1)}},
    {3149, "Outline", kPatternGroup, "OutDlg", Generation, false, true,
     {T(15210, "Width", 8, 0, 100, 0, 800), T(15220, "Generations", 1, 0, 40, 0, 80),
      W(15230, "Cycle", 0, 0, 360, -kAny, kAny), S(15240, "Inside", 0), S(15250, "Smooth", 1), S(15260, "Repeat", 0),
      S(15270, "Crystal", 0)}},
    {3151, "Relief", kTextureGroup, "C1Dlg", Image, false, false, {T(15310, "Multiply", 4, -20, 20, -20, 80)}},
    {3152, "Dither", kTextureGroup, "DithDlg", Image, false, false,
     {T(12110, "X spacing", 8, 1, 100, 1, 800), T(12120, "Y spacing", 8, 1, 100, 1, 800),
      T(12130, "Amount", 40, 1, 100, 1, 800), S(12140, "Gray", 0)}},
    {3153, "Elevations", kTextureGroup, "GeogDlg", Image, false, false,
     {N(12210, "Sea Level", 127, 0, 255), N(12220, "Shading", 50, 0, 100), S(12230, "Use Palette", 0)}},
    {3154, "Sharpen", kTextureGroup, "C2Dlg", Generation, false, false,
     {T(12310, "Amount", 100, 0, 100, 0, 200), T(12320, "Radius /10", 20, 0, 200, 0, 800)}},
    {3155, "Blur", kTextureGroup, "C1Dlg", Generation, false, false, {T(12410, "Radius /10", 20, 0, 200, 0, 800)}},
    {3156, "Remove", kTextureGroup, "C1Dlg", Generation, false, false, {T(12510, "Amount", 20, 0, 50, 0, 100)}},
    {3157, "Shave", kTextureGroup, "ShaveDlg", Generation, false, false,
     {N(12610, "Severity", 1, 0, 16), N(12620, "Direction", 0, 0, 2)}},
    {3158, "Apply Canvas", kTextureGroup, "AppDlg", Image, true, false,
     {T(12710, "Radius /10", 20, 0, 200, 0, 800), N(12720, "Amount", 10, 0, 100), S(12730, "Tile", 1),
      N(12740, "Transparency", 10, 0, 100), N(12750, "Emboss", 10, 0, 100), S(12760, "B+W Emboss", 0)}},
    {3159, "Contour", kTextureGroup, "ContourDlg", Pixel, false, false,
     {C8(12770, "Red", 0), C8(12780, "Green", 0), C8(12790, "Blue", 0), C8(12800, "Red backgound", 255),
      C8(12840, "Green background", 255), C8(12850, "Blue background", 255), S(12860, "Apply Background", 0),
      N(12880, "Interval", 50, 1, 256), S(12690, "Edge Detection", 0)}},
    {3161, "Derivative", kMathGroup, "DerDlg", Image, false, false,
     {T(12810, "Multiply", 1, 1, 20, 1, 80), S(12820, "On Gray", 0), S(12830, "Add", 0)}},
    {3162, "Variance", kMathGroup, "VarDlg", Image, false, false,
     {T(12910, "Radius", 2, 0, 10, 0, 100), T(12920, "Multiply", 4, 1, 20, 1, 80), S(12930, "Add", 0)}},
    {3163, "Add Images", kMathGroup, "AddDlg", Image, true, false, {N(13010, "On Gray", 0, 0, 2)}},
    {3164, "Subtract", kMathGroup, "SubDlg", Image, true, false, {S(13110, "On Gray", 0)}},
    {3171, "Clip", kCollageGroup, "ClipDlg", Image, false, false, {S(13210, "As Source", 1), S(13220, "Display Clip", 1)}},
    {3172, "Merge", kCollageGroup, "MergDlg", Image, true, false, {S(13310, "Warp to Shape", 0)}},
    {3177, "Key In", kCollageGroup, "KeyinDlg", Image, true, false,
     {C8(13810, "Red", 0), C8(13820, "Green", 0), C8(13830, "Blue", 255), C8(13840, "Red Range", 20),
      C8(13850, "Green Range", 20), C8(13860, "Blue Range", 20), S(13870, "On Source", 1), S(13880, "Inverse", 0),
      S(13890, "Soft Replace", 1)}},
    {3175, "Place", kCollageGroup, "PlaceDlg", Image, true, false, {S(13410, "Only in Area", 0)}},
    {3173, "Enlarge", kCollageGroup, "SizeDlg", Image, false, true,
     {T(13510, "X Size", 200, 100, 1000, 1, 9000), T(13520, "Y Size", 200, 100, 1000, 1, 9000),
      T(13530, "X Dim", 640, 1, 2048, 1, kAny), T(13540, "Y Dim", 480, 1, 2048, 1, kAny), S(13550, "Replace", 1),
      S(13560, "Constant zoom", 0)}},
    {3174, "Reduce", kCollageGroup, "SizeDlg", Image, false, true,
     {T(13610, "X Size", 50, 1, 100, 1, 800), T(13620, "Y Size", 50, 1, 100, 1, 800),
      T(13630, "X Dim", 160, 1, 2048, 1, kAny), T(13640, "Y Dim", 120, 1, 2048, 1, kAny), S(13650, "Replace", 1),
      S(13660, "Constant zoom", 0)}},
    {3186, "Color Fill", kStandardGroup, "ColorDlg", Point, false, false,
     {C8(13910, "Red", 0), C8(13920, "Green", 0), C8(13930, "Blue", 255)}},
    {3188, "Colorize", kStandardGroup, "HueDlg", Point, false, false,
     {W(14010, "Hue", 0, 0, 360, 0, 360), N(14020, "Saturation", 100, 0, 100), S(14030, "Apply Sat", 1)}},
    {3181, "Contrast", kStandardGroup, "C1Dlg", Point, false, false, {T(14110, "Amount", 100, -100, 100, -kAny, kAny)}},
    {3182, "Brightness", kStandardGroup, "C1Dlg", Point, false, false,
     {T(14210, "Amount", 100, -100, 100, -kAny, kAny)}},
    {3183, "Gamma", kStandardGroup, "C1Dlg", Point, false, false, {T(14310, "Amount", 100, -200, 200, -kAny, kAny)}},
    {3184, "Balance", kStandardGroup, "BalDlg", Point, false, false,
     {S(14410, "Dynamic Range", 0), C8(14420, "Red", 0), C8(14430, "Green", 0), C8(14440, "Blue", 0)}},
    {3185, "Histogram", kStandardGroup, "HistDlg", Inspect, false, false, {S(14510, "Gather", 0)}},
    {3187, "Sample", kStandardGroup, "SamDlg", Inspect, false, false,
     {S(14810, "Make Key Color", 1), S(14820, "Include Extremes", 0)}},
    {3189, "Remap", kStandardGroup, "RemapDlg", Point, false, false, {N(15640, "Nearness", 0, 0, 255)}},
    {3179, "Monochrome", kStandardGroup, "MonDlg", Value, false, false, {S(15060, "Luminance", 1)}},
    {3178, "Build Palette", kStandardGroup, "PlbDlg", Inspect, false, false,
     {S(15070, "Clear", 0), S(15080, "Accumulate", 1), S(15090, "Select", 0)}},
    {3192, "Make Alpha", kAlphaGroup, "AlphaDlg", Image, false, true,
     {S(14590, "With Existing", 0), S(14600, "With Source", 0), N(14620, "Add/subtract", 0, 0, 2)}},
    {3193, "Key to Alpha", kAlphaGroup, "KalDlg", Point, false, true,
     {Shared(3177, 13810), Shared(3177, 13820), Shared(3177, 13830), Shared(3177, 13840), Shared(3177, 13850),
      Shared(3177, 13860), S(14650, "Inverse", 0), S(14660, "Soft Match", 0)}},
    {3194, "Invert Alpha", kAlphaGroup, "NoneDlg", Point, false, true, {}},
    {3195, "Harden Alpha", kAlphaGroup, "C2Dlg", Point, false, true,
     {N(14630, "Threshold", 127, 0, 255), N(14640, "Amount", 100, 0, 100)}},
    {3196, "Soften Alpha", kAlphaGroup, "A1Dlg", Pixel, false, true, {N(14670, "Radius", 5, 1, 20)}},
    {3197, "Shave Alpha", kAlphaGroup, "A1Dlg", Pixel, false, true, {N(14680, "Bump Size", 4, 1, 20)}},
    {3176, "Clip Alpha", kAlphaGroup, "ClipDlg", Image, false, true, {S(13710, "", 0), S(13720, "Display Clip", 1)}},
    {3191, "Make Area", kAlphaGroup, "AreDlg", Inspect, false, false, {}},
    {3199, "Distortion", kZelvaneGroup, "MrpDlg", Image, false, false,
     {T(15510, "Frame", 1, 1, 100, 1, 4000), T(15520, "Total frames", 30, 2, 100, 2, 4000)}},
    {3198, "Transition", kZelvaneGroup, "TrnDlg", Image, true, false,
     {T(15610, "Frame", 1, 1, 100, 1, 4000), T(15620, "Total frames", 30, 2, 100, 2, 4000)}},
};

static_assert(std::size(kOps) == kOperationCount);

}  // namespace

std::span<const OpDef> OpDefinitions() { return kOps; }
std::span<const GroupDef> GroupDefinitions() { return kGroups; }

}  // namespace qv::detail
