// Saving from the program: the save dialog's choices taken and remembered,
// and an image saved to its own file (as closing its last view does).
#include <gtest/gtest.h>

#include "formats/bmp.h"
#include "formats/image_files.h"
#include "formats/save_choices.h"
#include "formats/save_image.h"
#include "support/program_fixture.h"

namespace qv {
namespace {

// Answers the save dialog as a person would, with the choices given.
class SavingHost : public RecordingHost {
 public:
  std::vector<SaveImageRequest> asked;
  SaveImageRequest answer;
  bool confirm = true;
  bool EditSaveChoices(SaveImageRequest& request) override {
    asked.push_back(request);
    if (!confirm) return false;
    request = answer;
    return true;
  }
};

class SaveImageTest : public test::ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    saving = &InstallHost<SavingHost>();
    ASSERT_EQ(InitImageTable(), 0);
  }

  // A 4 x 2 picture of four colours, in the table and changed.
  ImageRecord* Picture() {
    ImageRecord* image = CreateLockedImage(4, 2, "test");
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 4; ++x) {
        std::uint8_t* p = PixelAt(image, x, y);
        p[0] = static_cast<std::uint8_t>(x * 80);
        p[1] = static_cast<std::uint8_t>(y * 200);
        p[2] = 40;
        p[3] = 255;
      }
    UnlockImage(image);
    std::snprintf(image->name, sizeof image->name, "NEW_1");
    AddImage(image, false);
    image->changed = 1;
    return image;
  }

  SavingHost* saving = nullptr;
};

TEST_F(SaveImageTest, ChoicesAreHeldToTheTypeAndRemembered) {
  ImageRecord* image = Picture();
  TheProgram().save = {kSaveGif, kDepth1, 1, 75, 0};
  saving->answer.name = (workDir / "out.tif").string();
  saving->answer.type = kSaveTiff;
  saving->answer.depthEntry = kDepth8;  // not offered for TIFF
  saving->answer.compress = 1;          // LZW needs ChopMem
  saving->answer.quality = 30;
  SaveImageCommand(111);  // whether the TIFF library is at hand does not matter here
  // Without ChopMem the GIF setting is not offered; the name took the type.
  ASSERT_EQ(saving->asked.size(), 1u);
  EXPECT_EQ(saving->asked[0].type, kSaveBitmap);
  EXPECT_EQ(saving->asked[0].name, "NEW_1.bmp");
  const SaveChoices& c = TheProgram().save;
  EXPECT_EQ(c.type, kSaveTiff);
  EXPECT_EQ(c.depth, kDepth24);
  EXPECT_EQ(c.compress, 1) << "a box the person could not change keeps the setting";
  EXPECT_EQ(c.jpegQuality, 75);
  EXPECT_EQ(TheProgram().settings.savePath, workDir.string());
  EXPECT_EQ(TheProgram().settings.saveExtn, "tif");

  saving->answer = {"", "", (workDir / "out.bmp").string(), kSaveBitmap, kDepth4, 0, 30, 0};
  ASSERT_EQ(SaveImageCommand(111), 0);
  EXPECT_EQ(c.depth, kDepth4);
  EXPECT_EQ(c.compress, 0);
  EXPECT_EQ(image->changed, 0);
  EXPECT_EQ(image->fileType, kSaveBitmap);
  EXPECT_EQ(image->saveOption, 0);
  EXPECT_STREQ(image->name, "out.bmp");
}

TEST_F(SaveImageTest, CancelledOrFailedSavesKeepTheChanges) {
  ImageRecord* image = Picture();
  saving->confirm = false;
  EXPECT_EQ(SaveToOwnFile(image), 2) << "no file of its own: the dialog decides";
  EXPECT_EQ(image->changed, 1);
  saving->confirm = true;
  saving->answer.name = (workDir / "no-such-folder" / "x.bmp").string();
  saving->answer.type = kSaveBitmap;
  saving->answer.depthEntry = kDepth24;
  EXPECT_EQ(SaveImageAs(image), 1);
  EXPECT_EQ(image->changed, 1);
  EXPECT_EQ(image->path[0], '\0');
  EXPECT_EQ(SaveImageCommand(118), 1) << "still no file: the dialog again, and it fails again";
  ResetProgram();
  InstallHost<HeadlessHost>();
  ASSERT_EQ(InitImageTable(), 0);
  EXPECT_EQ(SaveImageCommand(111), 1);  // message 11: nothing to save
}

TEST_F(SaveImageTest, ClosingSavesToTheOwnFileAtItsOwnDepth) {
  ImageRecord* original = Picture();
  const std::string path = (workDir / "four.bmp").string();
  ASSERT_EQ(WriteBmp(original, path, 8), 0);
  std::string name = path;
  ImageRecord* image = LoadImageFile(nullptr, name);
  ASSERT_TRUE(image);
  ASSERT_EQ(image->bitDepth, 8);
  AddImage(image, false);
  LockImage(image);
  // Pure red is in the 8-bit palette, so it comes back exactly.
  PixelAt(image, 0, 0)[0] = 255;
  PixelAt(image, 0, 0)[2] = 0;
  UnlockImage(image);
  image->changed = 1;
  auto& headless = InstallHost<HeadlessHost>();
  headless.SetQuiet(true);
  headless.SetAnswer(MessageKind::Save, 1);  // "Save before closing"
  ASSERT_EQ(RemoveImage(image), 0);

  name = path;
  ImageRecord* back = LoadImageFile(nullptr, name);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->bitDepth, 8);
  LockImage(back);
  EXPECT_EQ(PixelAt(back, 0, 0)[0], 255);
  EXPECT_EQ(PixelAt(back, 0, 0)[2], 0);
  UnlockImage(back);
  FreeImage(back);

  // An image without a file cannot be saved headless: the close stops.
  ImageRecord* fresh = Picture();
  EXPECT_EQ(RemoveImage(fresh), 2);
  EXPECT_EQ(ImageIndex(fresh), 1);
}

}  // namespace
}  // namespace qv
