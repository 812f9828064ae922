// Saving from the program: the save dialog's choices taken and remembered,
// and an image saved to its own file (as closing its last view does).
#include <gtest/gtest.h>

#include <filesystem>

#include "formats/bmp.h"
#include "formats/format_test_util.h"
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
  bool asOffered = false;  // take what the dialog offers, only naming the file
  bool EditSaveChoices(SaveImageRequest& request) override {
    asked.push_back(request);
    if (!confirm) return false;
    if (asOffered) {
      request.name = answer.name;
      request.type = answer.type;
    } else {
      request = answer;
    }
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

  // A picture of `count` distinct colours, pure white and a light gray
  // among them, with alpha 255.
  static ImageRecord* Colours(int width, int height, int count) {
    ImageRecord* image = CreateLockedImage(width, height, "test");
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        int c = (x + y * width) % count;
        std::uint8_t* p = PixelAt(image, x, y);
        p[0] = static_cast<std::uint8_t>(c == 0 ? 255 : c == 1 ? 242 : c * 37);
        p[1] = static_cast<std::uint8_t>(c == 0 ? 255 : c == 1 ? 242 : c * 11);
        p[2] = static_cast<std::uint8_t>(c == 0 ? 255 : c == 1 ? 242 : 255 - c);
        p[3] = 255;
      }
    UnlockImage(image);
    return image;
  }

  ImageRecord* Load(const std::filesystem::path& path) {
    std::string name = path.string();
    return LoadImageFile(nullptr, name);
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

TEST_F(SaveImageTest, AnImageWithAlphaKeepsItByDefault) {
  ImageRecord* made = CreateLockedImage(3, 2, "test");
  for (int i = 0; i < 6; ++i) {
    std::uint8_t* p = made->pixels + 4 * i;
    p[0] = static_cast<std::uint8_t>(40 * i), p[1] = 7, p[2] = 99, p[3] = static_cast<std::uint8_t>(255 - 50 * i);
  }
  made->hasAlpha = 1;
  UnlockImage(made);
  const std::filesystem::path path = workDir / "alpha.bmp";
  ASSERT_EQ(WriteBmp(made, path.string(), 32), 0);
  const auto want = test::Pixels(made);
  FreeImage(made);

  // "Save Image" writes the file at the depth it had, alpha and all.
  ImageRecord* image = Load(path);
  ASSERT_TRUE(image);
  AddImage(image, false);
  image->changed = 1;
  ASSERT_EQ(SaveToOwnFile(image), 0);
  ImageRecord* back = Load(path);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->bitDepth, 32);
  EXPECT_EQ(test::Pixels(back), want);
  FreeImage(back);

  // A first "Save Image As" as Bitmap, taking the depth offered: the stored
  // default is no depth entry, so the fullest, which keeps the alpha.
  saving->asOffered = true;
  saving->answer.name = (workDir / "as.bmp").string();
  saving->answer.type = kSaveBitmap;
  ASSERT_EQ(SaveImageAs(image), 0);
  EXPECT_EQ(TheProgram().save.depth, kDepthAlpha);
  back = Load(workDir / "as.bmp");
  ASSERT_TRUE(back);
  EXPECT_EQ(back->bitDepth, 32);
  EXPECT_EQ(test::Pixels(back), want);
  FreeImage(back);
}

// Colours the file's palette can hold are kept exactly, whatever the
// reduction settings say, and saving such a file again changes nothing.
TEST_F(SaveImageTest, ColoursThatFitThePaletteAreSavedExactly) {
  struct Case {
    int depth, colours;
  };
  for (Case c : {Case{8, 256}, Case{8, 200}, Case{4, 16}, Case{1, 2}}) {
    for (int source : {kPaletteDefault, kPaletteGray, kPaletteChoose}) {
      SCOPED_TRACE(::testing::Message() << c.depth << "-bit, " << c.colours << " colours, source " << source);
      TheProgram().reduce.chooseColors = source;
      ImageRecord* made = Colours(23, 17, c.colours);
      const auto want = test::Rgb(test::Pixels(made));
      const std::filesystem::path path = workDir / "fit.bmp";
      ASSERT_EQ(WriteBmp(made, path.string(), c.depth), 0);
      FreeImage(made);
      for (int save = 0; save < 2; ++save) {
        ImageRecord* image = Load(path);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->bitDepth, c.depth);
        EXPECT_EQ(test::Rgb(test::Pixels(image)), want) << "after " << save << " saves of the file";
        AddImage(image, false);
        image->changed = 1;
        ASSERT_EQ(SaveToOwnFile(image), 0);
        ASSERT_EQ(RemoveImage(image), 0);
      }
    }
  }
}

TEST_F(SaveImageTest, SavingOntoASymbolicLinkWritesTheFileItNames) {
  namespace fs = std::filesystem;
  fs::create_directory(workDir / "real");
  const fs::path target = workDir / "real" / "pic.bmp";
  test::WriteBytes(target, {'o', 'l', 'd'});
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink("real/pic.bmp", workDir / "link.bmp");  // relative to the link's folder
  fs::create_symlink(workDir / "link.bmp", workDir / "again.bmp");
  ImageRecord* image = Picture();
  ASSERT_EQ(WriteBmp(image, (workDir / "again.bmp").string(), 24), 0);
  EXPECT_TRUE(fs::is_symlink(workDir / "again.bmp"));
  EXPECT_TRUE(fs::is_symlink(workDir / "link.bmp"));
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ImageRecord* back = Load(target);
  ASSERT_TRUE(back);
  EXPECT_EQ(test::Rgb(test::Pixels(back)), test::Rgb(test::Pixels(image)));
  FreeImage(back);
  // Nothing was left beside the link or the file.
  int entries = 0;
  for (const auto& e : fs::directory_iterator(workDir / "real")) entries += e.path().filename() != "pic.bmp";
  EXPECT_EQ(entries, 0);
}

}  // namespace
}  // namespace qv
