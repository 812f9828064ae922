// The Motion and Math groups, one thread, on a 4-megapixel generated picture
// selected whole; Add Images and Subtract with the picture as its own source.
#include "effect_bench.h"

#include "ops/math_ops.h"
#include "ops/motion_ops.h"

namespace {

constexpr double kWhole = double(bench::kSide) * bench::kSide;

void OneThread() { qv::TheProgram().settings.threads = 1; }

EFFECT(MotionBlur, qv::kMotionBlurOp, false, kWhole, OneThread);
EFFECT(SpiralBlur, qv::kSpiralBlurOp, false, kWhole, OneThread);
EFFECT(Explode, qv::kExplodeOp, false, kWhole, OneThread);
EFFECT(Derivative, qv::kDerivativeOp, false, kWhole, OneThread);
EFFECT(Variance, qv::kVarianceOp, false, kWhole, OneThread);
EFFECT(AddImages, qv::kAddImagesOp, false, kWhole, OneThread);
EFFECT(Subtract, qv::kSubtractOp, false, kWhole, OneThread);

}  // namespace
