#include "store/image_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/program_fixture.h"

namespace qv {
namespace {

class ImageStoreTest : public test::ProgramTest {};

MemoryPlaces& Places() { return TheProgram().memory; }
ImageStore& Store() { return TheProgram().images; }

std::int64_t PlaceSize(PlaceHandle h) { return Places().size[PlaceOfHandle(h)]; }

ImageRecord* Named(const char* name, int w = 4, int h = 3) {
  ImageRecord* image = CreateImage(w, h, "test");
  std::strcpy(image->name, name);
  return image;
}

TEST_F(ImageStoreTest, FreshImageHasDefaultsAndThePaletteCubeAndRamp) {
  TheProgram().save.compress = 0;
  TheProgram().save.jpegQuality = 60;
  ImageRecord* image = CreateImage(5, 4, "inew");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ((std::array<const void*, 4>{image->pixels, image->rows, image->parent, image->annotation}),
            (std::array<const void*, 4>{}));
  EXPECT_EQ((std::array<int, 6>{image->lockCount, image->dpiXNum, image->dpiYDen, image->frameIndex,
                                image->saveOption, image->saveQuality}),
            (std::array<int, 6>{0, 200, 1, kNoFrame, 0, 60}));

  auto rgb = [&](int i) { return std::vector<int>{image->red[i], image->green[i], image->blue[i]}; };
  EXPECT_EQ(rgb(0), (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(rgb(31), (std::vector<int>{0, 255, 255}));
  EXPECT_EQ(rgb(37), (std::vector<int>{42, 36, 85}));  // r 1, g 1, b 1
  EXPECT_EQ(rgb(223), (std::vector<int>{255, 255, 255}));
  EXPECT_EQ(rgb(224), (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(rgb(244), (std::vector<int>{242, 242, 242}));
  EXPECT_EQ(rgb(245), (std::vector<int>{255, 255, 255}));
  EXPECT_EQ(rgb(255), (std::vector<int>{255, 255, 255}));

  ASSERT_EQ(LockImage(image), 0);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(image->pixels[i * 4 + 3], 255) << i;
  UnlockImage(image);
  FreeImage(image);
  EXPECT_EQ(Places().placesInUse, 0);
}

TEST_F(ImageStoreTest, SizesAreClampedAndRowTablesCoverTheLongerSide) {
  ImageRecord* dot = CreateImage(0, -7, "t");
  EXPECT_EQ(dot->width, 1);
  EXPECT_EQ(dot->height, 1);

  ImageRecord* tall = CreateImage(3, 1000, "t");
  ImageRecord* wide = CreateImage(1000, 3, "t");
  EXPECT_EQ(PlaceSize(tall->rowPlace), 1000 * 4 + 4);
  EXPECT_EQ(PlaceSize(wide->rowPlace), 1000 * 4 + 4);
  EXPECT_EQ(PlaceSize(tall->pixelPlace), 3 * 1000 * 4 + 4);
  LockImage(tall);
  LockImage(wide);
  for (int y = 0; y < 1000; ++y) ASSERT_EQ(tall->rows[y], static_cast<std::uint32_t>(y * 3));
  EXPECT_EQ(wide->rows[2], 2000u);
  EXPECT_EQ(wide->rows[3], 0u);  // unused entries
  PixelAt(tall, 2, 999)[0] = 7;
  EXPECT_EQ(tall->pixels[(999 * 3 + 2) * 4], 7);

  wide->width = 500;  // after a change of width
  wide->height = 6;
  ResetRowTable(wide);
  EXPECT_EQ(wide->rows[5], 2500u);
  UnlockImage(tall);
  UnlockImage(wide);

  EXPECT_EQ(CreateImage(1 << 16, 1 << 16, "t"), nullptr);  // refused before allocating
  EXPECT_EQ(Places().placesInUse, 9);
}

TEST_F(ImageStoreTest, LocksNestOnlyTheLastUnlockReleasesAndAFailedLockLeavesNothing) {
  ImageRecord* image = CreateImage(2, 2, "t");
  ASSERT_EQ(LockImage(image), 0);
  std::uint8_t* pixels = image->pixels;
  ASSERT_EQ(LockImage(image), 0);
  EXPECT_EQ(image->pixels, pixels);
  EXPECT_EQ(image->lockCount, 2);
  UnlockImage(image);
  EXPECT_NE(image->pixels, nullptr);
  EXPECT_NE(Places().address[PlaceOfHandle(image->pixelPlace)], nullptr);
  UnlockImage(image);
  EXPECT_EQ(image->pixels, nullptr);
  EXPECT_EQ(image->rows, nullptr);
  EXPECT_EQ(Places().address[PlaceOfHandle(image->pixelPlace)], nullptr);
  UnlockImage(image);  // one too many: harmless
  EXPECT_EQ(image->lockCount, 0);

  // A failed lock leaves nothing locked.
  std::int64_t realBefore = Places().realTotal;
  int locks = 0;
  Places().faults.lock = [&] { return ++locks == 2; };  // the row place fails
  EXPECT_EQ(LockImage(image), 4);
  EXPECT_EQ(image->lockCount, 0);
  EXPECT_EQ(image->pixels, nullptr);
  EXPECT_EQ(Places().realTotal, realBefore);
  Places().faults.lock = [] { return true; };
  EXPECT_EQ(LockImage(image), 1);
  EXPECT_EQ(image->lockCount, 0);
  Places().faults.lock = nullptr;
  EXPECT_EQ(LockImage(image), 0);
  UnlockImage(image);
}

TEST_F(ImageStoreTest, CreateFailuresFreeEverythingAndReportOnlyTheRowTable) {
  for (const char* failing : {"header", "pixels", "rows"}) {
    int call = 0;
    int failAt = std::string(failing) == "header" ? 1 : std::string(failing) == "pixels" ? 2 : 3;
    Places().faults.allocate = [&](std::int64_t bytes) {
      if (bytes > 400 * 64) return false;  // table growth
      return ++call == failAt;
    };
    host->messages.clear();
    EXPECT_EQ(CreateImage(8, 8, "t"), nullptr) << failing;
    EXPECT_EQ(Places().placesInUse, 0) << failing;
    EXPECT_EQ(Places().virtualTotal, 0) << failing;
    EXPECT_EQ(host->MessageNumbers(), failAt == 3 ? std::vector<int>{7} : std::vector<int>{}) << failing;
  }
}

TEST_F(ImageStoreTest, ClonesCopyPicturePaletteAndAnnotationButNotTheAuthor) {
  ImageRecord* twelve = Named("twelve_chars", 3, 2);
  ImageRecord* thirteen = Named("thirteen_char");
  twelve->hasAlpha = 1;
  twelve->red[5] = 9;
  twelve->dpiXNum = 72;
  std::strcpy(twelve->author, "someone");
  std::strcpy(twelve->format, "IFF/ILBM");
  ASSERT_EQ(EnsureAnnotation(twelve, 0), 0);
  std::strcpy(twelve->annotation, "shot at dusk");
  LockImage(twelve);
  for (int i = 0; i < 24; ++i) twelve->pixels[i] = static_cast<std::uint8_t>(i * 10);
  UnlockImage(twelve);

  ImageRecord* c12 = CloneImage(twelve, false);
  ImageRecord* c13 = CloneImage(thirteen, false);
  EXPECT_STREQ(c12->name, "twelve_chars[clone]");
  EXPECT_STREQ(c13->name, "thirteen_char");
  EXPECT_EQ(c12->parent, twelve);
  EXPECT_EQ((std::array<int, 3>{c12->hasAlpha, c12->red[5], c12->dpiXNum}), (std::array<int, 3>{1, 9, 72}));
  EXPECT_STREQ(c12->format, "IFF/ILBM");
  EXPECT_STREQ(c12->author, "");
  ASSERT_NE(c12->annotation, twelve->annotation);
  EXPECT_STREQ(c12->annotation, "shot at dusk");
  EXPECT_EQ(UnpackTag(Places().tag[PlaceOfHandle(HandleOfAddress(c12->annotation))]), "anno");
  LockImage(c12);
  for (int i = 0; i < 24; ++i) EXPECT_EQ(c12->pixels[i], i * 10) << i;
  UnlockImage(c12);
  EXPECT_EQ(ImageCount(), 0);  // no view asked for

  ImageRecord* shown = CloneImage(c13, true);
  EXPECT_EQ(ImageAt(0), shown);
  EXPECT_EQ(host->added, (std::vector<ImageRecord*>{shown}));

  // Closing the source leaves the listed clone without a parent, not a dangling one.
  AddImage(c13, true);
  EXPECT_EQ(shown->parent, c13);
  RemoveImage(c13);
  EXPECT_EQ(shown->parent, nullptr);
}

TEST_F(ImageStoreTest, AnnotationsAreAtLeast324BytesAndKeepTheirText) {
  EXPECT_EQ(EnsureAnnotation(nullptr, 10), -1);
  ImageRecord* image = CreateImage(1, 1, "t");
  ASSERT_EQ(EnsureAnnotation(image, 10), 0);
  EXPECT_EQ(PlaceSizeOfAddress(image->annotation), 324 + 4);
  EXPECT_EQ(image->annotation[0], '\0');
  std::strcpy(image->annotation, "keep me");
  char* before = image->annotation;
  EXPECT_EQ(EnsureAnnotation(image, 100), 0);
  EXPECT_EQ(image->annotation, before);
  EXPECT_EQ(EnsureAnnotation(image, 2000), 0);
  EXPECT_STREQ(image->annotation, "keep me");
  EXPECT_EQ(PlaceSizeOfAddress(image->annotation), 2004);
  Places().faults.allocate = [](std::int64_t) { return true; };
  EXPECT_EQ(EnsureAnnotation(image, 5000), -2);
  EXPECT_STREQ(image->annotation, "keep me");
}

TEST_F(ImageStoreTest, OpaqueAlphaIsForcedOnlyWithoutAlpha) {
  ImageRecord* image = CreateLockedImage(2, 1, "t");
  image->pixels[3] = 10;
  image->hasAlpha = 1;
  ForceOpaqueAlpha(image);
  EXPECT_EQ(image->pixels[3], 10);
  image->hasAlpha = 0;
  ForceOpaqueAlpha(image);
  EXPECT_EQ(image->pixels[3], 255);
  EXPECT_EQ(image->lockCount, 1);  // the caller's lock stays
}

TEST_F(ImageStoreTest, TableGrowsTo60Then140AndKeepsItsOrder) {
  std::vector<ImageRecord*> images;
  for (int i = 0; i < 61; ++i) {
    images.push_back(CreateImage(1, 1, "t"));
    ASSERT_EQ(AddImage(images.back(), false), 0);
    if (i == 19) {
      EXPECT_EQ(Store().capacity, 20);
    }
    if (i == 20) {
      EXPECT_EQ(Store().capacity, 60);
    }
  }
  EXPECT_EQ(Store().capacity, 140);
  EXPECT_EQ(UnpackTag(Places().tag[PlaceOfHandle(HandleOfAddress(Store().table))]), "thei");
  for (int i = 0; i < 61; ++i) ASSERT_EQ(ImageAt(i), images[i]);
  EXPECT_EQ(Store().current, images[0]);

  EXPECT_EQ(RemoveImage(images[30]), 0);
  EXPECT_EQ(ImageCount(), 60);
  EXPECT_EQ(ImageAt(30), images[31]);
  EXPECT_EQ(ImageIndex(images[30]), -1);
}

TEST_F(ImageStoreTest, FailingToGrowTheTableLeavesTheImageOutside) {
  for (int i = 0; i < 20; ++i) AddImage(CreateImage(1, 1, "t"), false);
  ImageRecord* extra = CreateImage(1, 1, "t");
  Places().faults.allocate = [](std::int64_t) { return true; };
  EXPECT_EQ(AddImage(extra, false), 1);
  EXPECT_EQ(ImageCount(), 20);
  EXPECT_EQ(Store().capacity, 20);
  EXPECT_EQ(ImageIndex(extra), -1);
}

TEST_F(ImageStoreTest, CurrentImagesNeverPointAtFreedImages) {
  ImageRecord* a = Named("a");
  ImageRecord* b = Named("b");
  ImageRecord* c = Named("c");
  AddImage(a, true);
  AddImage(b, true);
  AddImage(c, true);
  EXPECT_EQ(Store().current, a);
  Store().currentAction = c;

  RemoveImage(a);
  EXPECT_EQ(Store().current, b);  // the first image left in the table
  EXPECT_EQ(Store().currentAction, c);
  RemoveImage(c);
  EXPECT_EQ(Store().currentAction, b);

  // Freed while still listed first: the pointer must not stay on it.
  ImageRecord* d = Named("d");
  AddImage(d, true);
  FreeImage(b);
  EXPECT_EQ(Store().current, d);
  EXPECT_EQ(Store().currentAction, d);
  Store().table[0] = d;  // what RemoveImage would have left
  Store().count = 1;
  RemoveImage(d);
  EXPECT_EQ(Store().current, nullptr);
  EXPECT_EQ(Store().currentAction, nullptr);

  ImageRecord* temp = CreateImage(1, 1, "iund");  // never listed
  FreeImage(temp);
  FreeImage(nullptr);
}

TEST_F(ImageStoreTest, ClosingAChangedImageAsksAndHonoursTheAnswer) {
  ImageRecord* plain = Named("plain");
  AddImage(plain, true);
  EXPECT_EQ(RemoveImage(plain), 0);
  EXPECT_TRUE(host->messages.empty());  // unchanged: no question

  ImageRecord* image = Named("edited");
  AddImage(image, true);
  image->changed = 3;
  host->answers = {0};
  EXPECT_EQ(RemoveImage(image), 2);
  EXPECT_EQ(host->messages.back().title, "Closing Last View on Image");
  EXPECT_EQ(host->messages.back().text, "The image:  edited  has changed.");
  EXPECT_EQ(host->messages.back().buttons,
            (std::vector<std::string>{"&Cancel, do not close", "Close &Without saving", "&Save before closing"}));
  EXPECT_EQ(ImageCount(), 1);

  host->answers = {1};  // save, but the save fails
  host->saveResult = 1;
  EXPECT_EQ(RemoveImage(image), 2);
  EXPECT_EQ(host->saved, (std::vector<ImageRecord*>{image}));
  EXPECT_EQ(ImageCount(), 1);

  host->answers = {1};  // save works
  host->saveResult = 0;
  host->clearChangedOnSave = true;
  EXPECT_EQ(RemoveImage(image), 0);
  EXPECT_EQ(ImageCount(), 0);

  ImageRecord* other = Named("other");
  AddImage(other, true);
  other->changed = 1;
  host->answers = {2};  // close without saving
  EXPECT_EQ(RemoveImage(other), 0);
  EXPECT_EQ(Places().placesInUse, 1);  // only the table is left
}

TEST_F(ImageStoreTest, NewImageNumbersProposalsAndRemembersWhatWasEntered) {
  NewImageDetails first = ProposeNewImage();
  EXPECT_EQ(first.name, "NEW_1");
  EXPECT_EQ((std::array<int, 3>{first.width, first.height, first.dpiX}), (std::array<int, 3>{320, 200, 100}));
  EXPECT_EQ(first.colour, (std::array<std::uint8_t, 3>{30, 30, 70}));

  host->useNewImageEdits = true;
  host->newImageEdits = {"a_name_longer_than_nineteen", 0, 5, 300, 72, {1, 2, 3}};
  EXPECT_EQ(NewImage(), 0);
  ImageRecord* image = ImageAt(0);
  ASSERT_NE(image, nullptr);
  EXPECT_STREQ(image->name, "a_name_longer_than_");
  EXPECT_EQ((std::array<int, 4>{image->width, image->height, image->dpiXNum, image->dpiYNum}),
            (std::array<int, 4>{1, 5, 300, 72}));
  EXPECT_STREQ(image->format, "new");
  EXPECT_EQ(image->bitDepth, 24);
  EXPECT_EQ(image->frameIndex, 0);
  EXPECT_EQ(image->changed, 0);
  LockImage(image);
  EXPECT_EQ(std::vector<int>(image->pixels + 16, image->pixels + 20), (std::vector<int>{1, 2, 3, 255}));
  UnlockImage(image);

  NewImageDetails next = ProposeNewImage();  // counter went up with each proposal
  EXPECT_EQ(next.name, "NEW_3");
  EXPECT_EQ(next.width, 1);
  EXPECT_EQ(next.colour, (std::array<std::uint8_t, 3>{1, 2, 3}));

  next.name.clear();
  EXPECT_EQ(CreateNewImage(next), 0);
  EXPECT_STREQ(ImageAt(1)->name, "new");

  host->useNewImageEdits = false;
  host->acceptNewImage = false;
  EXPECT_EQ(NewImage(), 2);
  EXPECT_EQ(ImageCount(), 2);
}

TEST_F(ImageStoreTest, NewImageOutOfMemoryShowsMessage7OnceAndLeavesNothing) {
  std::int64_t placesBefore = Places().placesInUse;
  for (int failAt = 1; failAt <= 3; ++failAt) {
    int call = 0;
    Places().faults.allocate = [&](std::int64_t bytes) { return bytes <= 400 * 64 && ++call == failAt; };
    host->messages.clear();
    EXPECT_EQ(CreateNewImage(ProposeNewImage()), 1);
    EXPECT_EQ(host->MessageNumbers(), std::vector<int>{7}) << failAt;
    EXPECT_EQ(Places().placesInUse, placesBefore) << failAt;
  }
  Places().faults.allocate = nullptr;
  EXPECT_EQ(ImageCount(), 0);
}

}  // namespace
}  // namespace qv
