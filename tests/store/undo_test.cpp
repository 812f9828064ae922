#include "store/undo.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/program_fixture.h"

namespace qv {
namespace {

class UndoTest : public test::ProgramTest {
 protected:
  UndoState& U() { return TheProgram().undo; }

  ImageRecord* Listed(const char* name, int w = 4, int h = 3) {
    ImageRecord* image = CreateImage(w, h, "test");
    std::strcpy(image->name, name);
    AddImage(image, false);
    return image;
  }
  static int Red(ImageRecord* image, int x = 1, int y = 1) {
    LockImage(image);
    int v = PixelAt(image, x, y)[0];
    UnlockImage(image);
    return v;
  }
  // What the apply pipeline does: drop the redo history, take a layer of
  // the box, change the pixel, count the change.
  void Operate(ImageRecord* image, int value) {
    DropRedoLayers(image);
    ASSERT_EQ(TakeUndo(0, 0, 2, 2, image), 0);
    LockImage(image);
    PixelAt(image, 1, 1)[0] = static_cast<std::uint8_t>(value);
    UnlockImage(image);
    image->changed += 1;
  }
  int Layers() {
    int n = 0;
    for (int i = 0; i < U().capacity; ++i) n += U().stack[i] != nullptr;
    return n;
  }
  int LayerPlaces() {
    int n = 0;
    auto& m = TheProgram().memory;
    for (std::size_t i = 0; i < m.handle.size(); ++i) n += m.handle[i] && m.tag[i] == PackTag("iund");
    return n;
  }
};

TEST_F(UndoTest, ThreeLevelsKeepTheLastThreeOfFourOperations) {
  ImageRecord* image = Listed("A");
  for (int v : {10, 20, 30, 40}) Operate(image, v);
  EXPECT_EQ(Layers(), 3);
  EXPECT_EQ(LayerPlaces(), 3);
  EXPECT_EQ(std::string(U().stack[0]->name), "A");
  EXPECT_EQ(U().stack[0]->parent, image);

  host->undoChoices = {0, 0};  // the newest each time there is a choice
  for (int expected : {30, 20, 10}) {
    ASSERT_EQ(Undo(), 0);
    EXPECT_EQ(Red(image), expected);
  }
  EXPECT_EQ(image->changed, 1);
  EXPECT_EQ(Undo(), 1);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{49});

  // De-undo re-applies the oldest undone change first, counting it again.
  ASSERT_EQ(DeUndo(), 0);
  EXPECT_EQ(Red(image), 20);
  EXPECT_EQ(image->changed, 2);
  // Choosing the newest undone layer re-applies it and every older one.
  host->undoChoices = {0};
  ASSERT_EQ(DeUndo(), 0);
  EXPECT_EQ(Red(image), 40);
  EXPECT_EQ(image->changed, 4);
  EXPECT_EQ(DeUndo(), 1);
  EXPECT_EQ(host->MessageNumbers().back(), 64);
}

TEST_F(UndoTest, UndoOnAnImageWhoseLayerIsNotTheNewest) {
  ImageRecord* a = Listed("A");
  ImageRecord* b = Listed("B");
  Operate(a, 11);
  Operate(b, 22);
  host->undoChoices = {1};  // A's entry, second in the list
  ASSERT_EQ(Undo(), 0);
  ASSERT_EQ(host->undoLists.size(), 1u);
  EXPECT_EQ(host->undoLists[0].size(), 2u);
  EXPECT_NE(host->undoLists[0][1].find("A"), std::string::npos);
  EXPECT_EQ(Red(a), 0);
  EXPECT_EQ(Red(b), 22);
  EXPECT_EQ(U().stack[1]->undone, 1);
  EXPECT_EQ(U().stack[0]->undone, 0);

  // Closing B discards its layer; A's moves up.
  b->changed = 0;
  ASSERT_EQ(RemoveImage(b), 0);
  EXPECT_EQ(Layers(), 1);
  EXPECT_EQ(U().stack[0]->parent, a);
  // A cancelled choice changes nothing.
  Operate(a, 33);
  Operate(a, 44);
  host->undoChoices = {-1};
  EXPECT_EQ(Undo(), 2);
  EXPECT_EQ(Red(a), 44);
}

TEST_F(UndoTest, ANewOperationAfterUndoDropsTheRedoLayer) {
  ImageRecord* image = Listed("A");
  Operate(image, 10);
  ASSERT_EQ(Undo(), 0);
  Operate(image, 50);
  EXPECT_EQ(Layers(), 1);
  EXPECT_EQ(DeUndo(), 1);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{64});
  EXPECT_EQ(Red(image), 50);
}

TEST_F(UndoTest, AWholeImageLayerRestoresTheOldSize) {
  ImageRecord* image = Listed("A", 4, 3);
  Operate(image, 9);
  // An in-place enlargement: the old picture becomes a whole-image layer.
  ImageRecord* layer = CloneImage(image, false);
  layer->originX = layer->originY = -1;
  layer->parent = image;
  ASSERT_EQ(TakeUndo(0, 0, 0, 0, image), 0);
  ASSERT_EQ(ReplaceNewestLayer(image, layer), 0);
  ImageRecord* larger = CreateImage(8, 6, "test");
  SwapImageBodies(image, larger);
  FreeImage(larger);
  EXPECT_EQ(image->width, 8);

  ASSERT_EQ(Undo(), 0);
  EXPECT_EQ(image->width, 4);
  EXPECT_EQ(image->height, 3);
  EXPECT_EQ(Red(image), 9);
  ASSERT_EQ(host->refreshed.size(), 1u);
  EXPECT_TRUE(host->refreshed[0].second);
  ASSERT_EQ(DeUndo(), 0);
  EXPECT_EQ(image->width, 8);
}

TEST_F(UndoTest, FewerLevelsFreeTheLayersAtOnceAndMoreKeepThem) {
  ImageRecord* image = Listed("A");
  for (int v : {1, 2, 3}) Operate(image, v);
  ASSERT_EQ(SetUndoLevels(3, 1), 0);
  EXPECT_EQ(Layers(), 1);
  EXPECT_EQ(LayerPlaces(), 1);
  ASSERT_EQ(SetUndoLevels(1, 12), 0);
  EXPECT_EQ(Layers(), 1);
  EXPECT_GE(U().capacity, 12);
  for (int v = 4; v < 20; ++v) Operate(image, v);
  EXPECT_EQ(Layers(), 12);
  FreeUndoStack();
  EXPECT_EQ(LayerPlaces(), 0);
}

TEST_F(UndoTest, ChangedCountStaysAtZeroAndFailuresGiveTheirMessages) {
  ImageRecord* image = Listed("A");
  Operate(image, 5);
  image->changed = 0;
  ASSERT_EQ(Undo(), 0);
  EXPECT_EQ(image->changed, 0);

  auto& faults = TheProgram().memory.faults;
  faults.allocate = [](std::int64_t) { return true; };
  EXPECT_EQ(TakeUndo(0, 0, 1, 1, image), 1);
  U().levels = 0;
  EXPECT_EQ(TakeUndo(0, 0, 1, 1, image), 1);
  faults.allocate = nullptr;
  U().levels = 3;
  faults.lock = [] { return true; };
  EXPECT_EQ(DeUndo(), 0);  // the swap fails; the layer stays undone
  EXPECT_EQ(U().stack[0]->undone, 1);
  faults.lock = nullptr;
  EXPECT_EQ(host->MessageNumbers(), (std::vector<int>{39, 38, 52}));

  // A layer of a work image that never entered the table.
  ImageRecord* work = CreateImage(4, 3, "test");
  DropRedoLayers(image);
  ASSERT_EQ(TakeUndo(0, 0, 1, 1, work), 0);
  EXPECT_EQ(Undo(), 1);
  EXPECT_EQ(host->MessageNumbers().back(), 106);

  image->changed = 0;
  ASSERT_EQ(RemoveImage(image), 0);
  EXPECT_EQ(Undo(), 1);
  EXPECT_EQ(host->MessageNumbers().back(), 41);
}

TEST_F(UndoTest, TheLevelsDialogClampsAndFreesWhatNoLongerFits) {
  ImageRecord* image = Listed("A");
  for (int v : {1, 2, 3}) Operate(image, v);
  // Growing past the array needs memory; without it the old count stays.
  TheProgram().memory.faults.allocate = [](std::int64_t) { return true; };
  EXPECT_EQ(ChangeUndoLevels(25), 1);
  TheProgram().memory.faults.allocate = nullptr;
  EXPECT_EQ(U().levels, 3);
  EXPECT_EQ(host->MessageNumbers().back(), 39);

  ASSERT_EQ(ChangeUndoLevels(25), 0);
  EXPECT_EQ(U().levels, kMaxUndoLevels);
  EXPECT_EQ(Layers(), 3);
  ASSERT_EQ(ChangeUndoLevels(2), 0);
  EXPECT_EQ(Layers(), 2);
  EXPECT_EQ(LayerPlaces(), 2);
  ASSERT_EQ(ChangeUndoLevels(-4), 0);
  EXPECT_EQ(U().levels, 0);
  EXPECT_EQ(LayerPlaces(), 0);
}

TEST_F(UndoTest, UndoDeUndoButtonFlipsBetweenTheLatestStateAndTheOneBefore) {
  EXPECT_EQ(UndoOrDeUndo(), 1);
  EXPECT_EQ(host->MessageNumbers().back(), 41);
  ImageRecord* image = Listed("A");
  EXPECT_EQ(UndoOrDeUndo(), 1);
  EXPECT_EQ(host->MessageNumbers().back(), 49);

  for (int v : {10, 20, 30}) Operate(image, v);
  ASSERT_EQ(UndoOrDeUndo(), 0);
  EXPECT_EQ(Red(image), 20);
  EXPECT_EQ(image->changed, 2);
  ASSERT_EQ(UndoOrDeUndo(), 0);
  EXPECT_EQ(Red(image), 30);
  EXPECT_EQ(image->changed, 3);

  // After two levels were undone by the menu, the button goes back to the
  // latest picture, re-applying both in order, and never asks.
  host->undoChoices = {1};
  ASSERT_EQ(Undo(), 0);
  EXPECT_EQ(Red(image), 10);
  ASSERT_EQ(UndoOrDeUndo(), 0);
  EXPECT_EQ(Red(image), 30);
  EXPECT_EQ(image->changed, 3);
  EXPECT_EQ(U().stack[0]->undone, 0);
  EXPECT_EQ(U().stack[1]->undone, 0);
  EXPECT_TRUE(host->undoChoices.empty());
}

TEST_F(UndoTest, StoppedOperationRestoresFromTheLayerJustTaken) {
  ImageRecord* a = Listed("A");
  ImageRecord* b = Listed("B");
  Operate(a, 70);
  EXPECT_EQ(UndoLatest(b), 1);  // the newest layer is A's
  ASSERT_EQ(UndoLatest(a), 0);
  EXPECT_EQ(Red(a), 0);
  EXPECT_EQ(U().stack[0]->undone, 1);
  EXPECT_EQ(U().latest, U().stack[0]);
  EXPECT_EQ(U().beforeWidth, 3);
}

}  // namespace
}  // namespace qv
