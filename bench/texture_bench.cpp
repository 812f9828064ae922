// The Texture group, one thread, on a 4-megapixel generated picture selected
// whole (Remove: a centred ellipse of half sizes 512, counted by its box).
// Apply Canvas lays a second 4-megapixel picture over it.
#include "effect_bench.h"

#include "ops/texture_ops.h"

namespace {

constexpr double kWhole = double(bench::kSide) * bench::kSide;
constexpr double kEllipseBox = 1025.0 * 1025.0;

void OneThread() { qv::TheProgram().settings.threads = 1; }
void BlurRadius100() {
  OneThread();
  qv::SetParamValue(qv::kBlurOp, 0, 100);
}
// A second picture of the same size, chosen as the canvas.
void WithCanvas() {
  OneThread();
  qv::ImageRecord* canvas = qv::CreateLockedImage(bench::kSide, bench::kSide, "cnvs");
  unsigned seed = 7;
  for (int y = 0; y < bench::kSide; ++y)
    for (int x = 0; x < bench::kSide; ++x) {
      seed = seed * 214013u + 2531011u;
      std::uint8_t* p = qv::PixelAt(canvas, x, y);
      p[0] = p[1] = p[2] = static_cast<std::uint8_t>(128 + ((seed >> 16) & 31));
      p[3] = 255;
    }
  qv::UnlockImage(canvas);
  qv::AddImage(canvas, false);
  qv::Pipeline().source = canvas;
}

EFFECT(Blur, qv::kBlurOp, false, kWhole, OneThread);
EFFECT(BlurRadius100, qv::kBlurOp, false, kWhole, BlurRadius100);
EFFECT(Sharpen, qv::kSharpenOp, false, kWhole, OneThread);
EFFECT(Relief, qv::kReliefOp, false, kWhole, OneThread);
EFFECT(Elevations, qv::kElevationsOp, false, kWhole, OneThread);
EFFECT(Shave, qv::kShaveOp, false, kWhole, OneThread);
EFFECT(Contour, qv::kContourOp, false, kWhole, OneThread);
EFFECT(Dither, qv::kDitherOp, false, kWhole, OneThread);
EFFECT(ApplyCanvas, qv::kApplyCanvasOp, false, kWhole, WithCanvas);
EFFECT(Remove, qv::kRemoveOp, true, kEllipseBox, OneThread);

}  // namespace
