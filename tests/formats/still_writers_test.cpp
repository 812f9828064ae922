// Every still save type through SaveImageFile, and the type an image's own
// file is saved in again.
#include "app/program.h"
#include "formats/format_test_util.h"
#include "formats/image_files.h"
#include "formats/save_choices.h"
#include "formats/save_image.h"
#include "formats/still_writers.h"
#include "support/program_fixture.h"

namespace qv::test {
namespace {

class StillWritersTest : public ProgramTest {};

TEST_F(StillWritersTest, EachTypeWritesWhatItsReaderTakesBack) {
  TheProgram().save.chopMem = 1;
  ImageRecord* image = TestPattern(19, 9, true);
  struct Case {
    int type, entry, compress;
    const char* name;
    Recognition kind;
    int bits;
  } cases[] = {
      {kSaveTarga, kDepthAlpha, 1, "a.tga", Recognition::Targa, 32},
      {kSaveTarga, kDepthAlpha, 0, "b.tga", Recognition::Targa, 32},
      {kSaveGif, kDepth8, 1, "c.gif", Recognition::Gif, 8},
      {kSavePcx, kDepth24, 1, "d.pcx", Recognition::Pcx, 24},
      {kSavePcx, kDepth4, 1, "e.pcx", Recognition::Pcx, 4},
      {kSavePcx, kDepth1, 1, "f.pcx", Recognition::Pcx, 1},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(SaveImageFile(image, c.name, c.type, c.entry, c.compress, 75), 0) << c.name;
    auto bytes = FileBytes(c.name);
    EXPECT_EQ(RecognizeImage(bytes, c.name), c.kind) << c.name;
    std::string path = c.name;
    ImageRecord* back = LoadImageFile(nullptr, path);
    ASSERT_NE(back, nullptr) << c.name;
    EXPECT_EQ(back->bitDepth, c.bits) << c.name;
    if (c.bits >= 24) {
      EXPECT_EQ(Rgb(Pixels(back)), Rgb(Pixels(image))) << c.name;
    }
    FreeImage(back);
  }
  EXPECT_EQ(FileBytes("a.tga")[2], 10) << "SaveCompress decides the Targa runs";
  EXPECT_EQ(FileBytes("b.tga")[2], 2);

  // The desktop program writes LZW only with ChopMem.
  TheProgram().save.chopMem = 0;
  EXPECT_EQ(SaveImageFile(image, "g.gif", kSaveGif, kDepth8, 1, 75), 1);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{101});
  EXPECT_FALSE(std::filesystem::exists("g.gif"));
  FreeImage(image);

  // Sides past the 16-bit size fields are refused, saying why.
  TheProgram().save.chopMem = 1;
  host->messages.clear();
  image = CreateImage(65536, 1, "test");
  for (int type : {kSaveTarga, kSaveGif, kSavePcx})
    EXPECT_EQ(SaveImageFile(image, "wide.x", type, OfferedDepths(type).front(), 1, 75), 1) << type;
  ASSERT_EQ(host->MessageNumbers(), (std::vector<int>{103, 103, 103}));
  EXPECT_EQ(host->messages[0].extra, "Targa sides are at most 65535: 65536 x 1");
  EXPECT_FALSE(std::filesystem::exists("wide.x"));
  FreeImage(image);
}

TEST_F(StillWritersTest, SaveAfterSaveAsWritesTheSameTypeAgain) {
  ImageRecord* image = TestPattern(5, 4);
  // Types that are file types keep their number; Toaster FS is an IFF
  // picture by its format name; PNG has file type 14.
  for (int type : {kSaveBitmap, kSaveGif, kSavePcx, kSaveTarga, kSaveTrim, kSaveIff, kSaveToasterFs, kSavePng}) {
    RecordSavedType(image, type);
    EXPECT_EQ(SaveTypeOfImage(image), type) << type;
  }
  EXPECT_EQ(image->fileType, kFilePng);
  EXPECT_STREQ(image->format, "PNG");
  RecordSavedType(image, kSaveToasterFs);
  EXPECT_EQ(image->fileType, kFileIff);
  EXPECT_STREQ(image->format, "Toaster FS");
  image->fileType = kFileFlm;
  EXPECT_EQ(SaveTypeOfImage(image), -1) << "a film strip frame goes through the dialog";

  ASSERT_EQ(InitImageTable(), 0);
  ASSERT_EQ(AddImage(image, false), 0);
  RecordSavedType(image, kSaveTarga);
  image->saveOption = 0;
  std::snprintf(image->path, sizeof image->path, "own.pic");
  image->changed = 1;
  ASSERT_EQ(SaveToOwnFile(image), 0);
  EXPECT_EQ(image->changed, 0);
  auto bytes = FileBytes("own.pic");
  EXPECT_EQ(RecognizeImage(bytes, "own.pic"), Recognition::Targa);
  EXPECT_EQ(bytes[2], 2) << "the image's own save option: not compressed";
}

}  // namespace
}  // namespace qv::test
