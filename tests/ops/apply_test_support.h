// Images in the image table, selections and pixel reads for the pipeline and
// colour-operation tests.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <vector>

#include "app/program.h"
#include "area/area_mask.h"
#include "ops/apply.h"
#include "ops/op_state.h"
#include "store/image_record.h"
#include "support/program_fixture.h"

namespace qv::test {

class ApplyTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    ASSERT_EQ(InitImageTable(), 0);
  }

  // A w x h image in the table, the action image; colour(x, y) gives R, G, B, A.
  ImageRecord* Add(int w, int h, std::function<std::array<int, 4>(int, int)> colour) {
    ImageRecord* image = CreateImage(w, h, "test");
    LockImage(image);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        auto c = colour(x, y);
        std::uint8_t* p = PixelAt(image, x, y);
        for (int k = 0; k < 4; ++k) p[k] = static_cast<std::uint8_t>(c[static_cast<std::size_t>(k)]);
      }
    UnlockImage(image);
    AddImage(image, false);
    TheProgram().images.currentAction = image;
    return image;
  }

  static std::array<int, 4> At(ImageRecord* image, int x, int y) {
    LockImage(image);
    const std::uint8_t* p = PixelAt(image, x, y);
    std::array<int, 4> out{p[0], p[1], p[2], p[3]};
    UnlockImage(image);
    return out;
  }

  static std::vector<std::uint8_t> Pixels(ImageRecord* image) {
    LockImage(image);
    std::vector<std::uint8_t> out(image->pixels, image->pixels + std::size_t(image->width) * image->height * 4);
    UnlockImage(image);
    return out;
  }

  static void SelectRect(int x0, int y0, int x1, int y1) {
    AreaSelection& s = TheProgram().area.selection;
    s.mode = kAreaRectangle;
    s.left = x0;
    s.top = y0;
    s.right = x1;
    s.bottom = y1;
  }
  static void SelectEntireImage() { TheProgram().area.selection.mode = kAreaEntire; }

  // An effect applied as a user applies it: in Immediate Painting the
  // selection set above is drawn (finished) on the action image first.
  static int Run(OpId op) {
    ImageRecord* image = ActionImage();
    if (!DrawFirst() && !Pipeline().busy && image && TheProgram().area.selection.mode != 0)
      FinishSelection(image, 0, 0);
    return Apply(static_cast<int>(op), 0);
  }
};

// An affect-alpha apply: every colour byte kept, and alpha changed somewhere.
inline ::testing::AssertionResult OnlyAlphaChanged(const std::vector<std::uint8_t>& before,
                                                   const std::vector<std::uint8_t>& after) {
  if (before.size() != after.size()) return ::testing::AssertionFailure() << "the picture changed size";
  bool alphaChanged = false;
  for (std::size_t i = 0; i < after.size(); i += 4) {
    for (std::size_t c = 0; c < 3; ++c)
      if (after[i + c] != before[i + c])
        return ::testing::AssertionFailure() << "colour byte " << i + c << " changed";
    alphaChanged = alphaChanged || after[i + 3] != before[i + 3];
  }
  if (!alphaChanged) return ::testing::AssertionFailure() << "no alpha changed";
  return ::testing::AssertionSuccess();
}

}  // namespace qv::test
