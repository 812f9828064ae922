// Recognition, the load dispatcher around the readers, and the save choices.
#include <cstring>
#include <filesystem>

#include "app/program.h"
#include "base/string_table.h"
#include "formats/format_test_util.h"
#include "formats/image_files.h"
#include "formats/save_choices.h"
#include "support/program_fixture.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

// The literal's bytes, embedded zeros included, padded with zeros to size.
template <std::size_t N>
std::vector<std::uint8_t> Bytes(const char (&text)[N], std::size_t size = 0) {
  std::vector<std::uint8_t> b(text, text + N - 1);
  if (b.size() < size) b.resize(size, 0);
  return b;
}

using R = Recognition;

TEST(RecognizeImageTest, SignatureOrderDecidesNotTheExtension) {
  // A Targa header (image type 2 in byte 2) whose first bytes happen to be
  // another format's signature is taken for that format.
  for (auto [start, want] : {std::pair{"BM", R::Bmp}, {"GIF", R::Gif}, {"II", R::Tiff}, {"MM", R::Tiff}, {"P6", R::Ppm}}) {
    std::vector<std::uint8_t> b(start, start + std::strlen(start));
    b.resize(18);
    if (b[2] == 0) b[2] = 2;
    EXPECT_EQ(RecognizeImage(b, "x.tga"), want) << start;
  }
  auto targa = Bytes("", 18);
  targa[2] = 1;
  EXPECT_EQ(RecognizeImage(targa, "x.tga"), R::Targa);
  auto mpeg = Bytes("\x00\x00\x01\xBA", 12);
  EXPECT_EQ(RecognizeImage(mpeg, "x.tga"), R::Mpeg);
  mpeg[3] = 0;  // 00 00 01 followed by anything else: a colour-mapped Targa
  EXPECT_EQ(RecognizeImage(mpeg, "x.mpg"), R::Targa);
  EXPECT_EQ(RecognizeImage(Bytes("BMP"), "x.bmp"), R::TooSmall);
  EXPECT_EQ(RecognizeImage(Bytes("RIFF\0\0\0\0AVI ", 12), ""), R::Avi);
  EXPECT_EQ(RecognizeImage(Bytes("RIFF\0\0\0\0WAVE", 12), ""), R::Unknown);
  // PNG only at the very start: after the signatures that cannot be it,
  // before the probes 128 bytes in.
  auto png = Bytes("\x89PNG\r\n\x1a\n", 200);
  std::memcpy(&png[128], "MM\0*", 4);
  EXPECT_EQ(RecognizeImage(png, "x.tif"), R::Png);
  png[0] = 0;
  EXPECT_EQ(RecognizeImage(png, "x.png"), R::Tiff);

  // TIFF and JFIF behind a 128-byte header; JFIF further in, in any case.
  auto mac = Bytes("", 200);
  std::memcpy(&mac[128], "MM\0*", 4);
  EXPECT_EQ(RecognizeImage(mac, ""), R::Tiff);
  std::memcpy(&mac[128], "\xFF\xD8\xFF\xE0\0\x10JFIF", 10);
  EXPECT_EQ(RecognizeImage(mac, ""), R::Jpeg);
  auto deep = Bytes("", 2800);
  std::memcpy(&deep[2786], "jfif", 4);
  EXPECT_EQ(RecognizeImage(deep, ""), R::Jpeg);
  EXPECT_EQ(RecognizeImage(Bytes("\xFF\xD8\xFF\xE1\0\0Exif", 12), ""), R::Jpeg);
  auto stream = Bytes("", 100);
  std::memcpy(&stream[82], "JPEGStrm", 8);
  EXPECT_EQ(RecognizeImage(stream, ""), R::JpegStream);

  // RAW by name only, anywhere in the path, in the four spellings.
  auto unknown = Bytes("\x7F\x7F\x7F\x7F", 12);
  EXPECT_EQ(RecognizeImage(unknown, "/shots/take1.RED/frame"), R::Raw);
  EXPECT_EQ(RecognizeImage(unknown, "/shots/take1.Red/frame"), R::Unknown);
}

class LoadImageFileTest : public ProgramTest {
 protected:
  ImageRecord* Load(std::string path) { return LoadImageFile(nullptr, path); }
};

TEST_F(LoadImageFileTest, FinishesTheRecordAfterARead) {
  fs::create_directory("pics");
  WriteBytes("pics/two.bmp", TinyBmp());
  std::string path = "pics/two.bmp";
  ImageRecord* image = LoadImageFile(nullptr, path);
  ASSERT_NE(image, nullptr);
  EXPECT_STREQ(image->name, "two.bmp");
  EXPECT_STREQ(image->path, "pics/two.bmp");
  EXPECT_STREQ(image->format, "BMP");
  EXPECT_EQ(image->fileType, kFileBmp);
  EXPECT_EQ(image->bitDepth, 24);
  EXPECT_EQ(Pixels(image), (std::vector<std::uint8_t>{3, 2, 1, 255, 6, 5, 4, 255}));
  EXPECT_FALSE(TheProgram().files.loadRunning);
  FreeImage(image);
}

TEST_F(LoadImageFileTest, MessagesForFilesThatGiveNoImage) {
  StartLog();
  for (std::size_t n = 0; n < 4; ++n) WriteBytes("short" + std::to_string(n) + ".bmp", std::vector<std::uint8_t>(n, 'B'));
  auto stream = Bytes("", 100);
  std::memcpy(&stream[82], "JPEGStrm", 8);
  WriteBytes("stream.jpg", stream);
  WriteBytes("movie.mpg", Bytes("\x00\x00\x01\xBA\x44\x00", 12));
  WriteBytes("what.dat", Bytes("\x7F\x7F\x7F\x7F\x10\x20", 12));
  WriteBytes("anim.gif", Bytes("GIF89a", 40));

  for (std::size_t n = 0; n < 4; ++n) EXPECT_EQ(Load("short" + std::to_string(n) + ".bmp"), nullptr);
  EXPECT_EQ(Load("absent.bmp"), nullptr);
  EXPECT_EQ(Load("stream.jpg"), nullptr);
  EXPECT_EQ(Load("movie.mpg"), nullptr);
  EXPECT_EQ(Load("what.dat"), nullptr);
  EXPECT_EQ(Load("anim.gif"), nullptr);
  EXPECT_EQ(host->MessageNumbers(), (std::vector<int>{79, 79, 79, 79, 6, 18, 18, 18, 101}));
  EXPECT_EQ(host->messages[5].extra, "JPEGStrm file: stream.jpg");
  EXPECT_EQ(host->messages[6].extra, "MPEG file: movie.mpg");
  EXPECT_NE(Logged().find("Image header = 00 00 01 BA 44 00\n"), std::string::npos);
  EXPECT_NE(Logged().find("Image header = 7F 7F 7F 7F 10 20\n"), std::string::npos);
  EXPECT_NE(Logged().find("\nLoading image: \"what.dat\"\n"), std::string::npos);

  // One load at a time; the mark is cleared on every way out.
  EXPECT_FALSE(TheProgram().files.loadRunning);
  TheProgram().files.loadRunning = true;
  WriteBytes("ok.bmp", TinyBmp());
  EXPECT_EQ(Load("ok.bmp"), nullptr);
  EXPECT_EQ(host->MessageNumbers().back(), 83);
}

TEST_F(LoadImageFileTest, AFlicHeaderCutShortIsRefusedByTheFlicReader) {
  auto flic = Bytes("", 30);
  flic[4] = 0x12;
  flic[5] = 0xAF;
  WriteBytes("anim.flc", flic);
  EXPECT_EQ(Load("anim.flc"), nullptr);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{24});
}

TEST_F(LoadImageFileTest, MissingFileIsLookedForInTheProjectThenTheImageFolder) {
  fs::create_directories("project");
  fs::create_directories("images");
  WriteBytes("images/a.bmp", TinyBmp());
  WriteBytes("images/b.bmp", TinyBmp());
  WriteBytes("project/b.bmp", TinyBmp());
  TheProgram().files.projPath = (workDir / "project").string();
  TheProgram().files.imagePath = (workDir / "images").string();

  std::string path = "/gone/away/b.bmp";
  ImageRecord* image = LoadImageFile(nullptr, path);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(path, (workDir / "project" / "b.bmp").string());
  EXPECT_EQ(std::string(image->path), path);
  FreeImage(image);

  path = "/gone/away/a.bmp";
  image = LoadImageFile(nullptr, path);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(path, (workDir / "images" / "a.bmp").string());
  FreeImage(image);
}

TEST_F(LoadImageFileTest, LoadIntoTableAddsOnlyWhatLoaded) {
  WriteBytes("one.bmp", TinyBmp());
  WriteBytes("strip.flm", Bytes("ZFLM", 20));
  ASSERT_EQ(InitImageTable(), 0);
  std::string path = "one.bmp";
  EXPECT_EQ(LoadImageIntoTable(path), 0);
  ASSERT_EQ(host->added.size(), 1u);
  EXPECT_EQ(ImageCount(), 1);
  for (std::string other : {"strip.flm", "nothing.bmp"}) EXPECT_EQ(LoadImageIntoTable(other), 1) << other;
  EXPECT_EQ(ImageCount(), 1);
  // The film strip's frame size of 0 is refused as damaged.
  EXPECT_EQ(host->MessageNumbers(), (std::vector<int>{92, 6}));
}

TEST_F(LoadImageFileTest, MultipleSelectionLoadsEachFileOfTheFolder) {
  fs::create_directory("shots");
  WriteBytes("shots/a.bmp", TinyBmp());
  WriteBytes("shots/bad.bmp", Bytes("BMx"));
  WriteBytes("shots/c.bmp", TinyBmp());
  ASSERT_EQ(InitImageTable(), 0);
  std::string dir = (workDir / "shots").string();
  EXPECT_EQ(LoadImageSelection(dir + " bad.bmp a.bmp c.bmp", true), 2);
  EXPECT_EQ(ImageCount(), 2);
  EXPECT_EQ(host->added.size(), 2u);
  EXPECT_EQ(TheProgram().files.imagePath, dir);
  EXPECT_EQ(TheProgram().images.newImage.width, 2);
  EXPECT_EQ(TheProgram().images.newImage.height, 1);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{79});
}

TEST_F(ProgramTest, SaveChoicesFollowTheType) {
  // GIF is offered only while ChopMem is set; the short list maps back.
  EXPECT_EQ(OfferedSaveTypes(1).size(), 12u);
  EXPECT_EQ(OfferedSaveTypes(0).size(), 11u);
  EXPECT_EQ(FullSaveType(10, 0), kSavePng) << "PNG is appended: stored types keep their meaning";
  EXPECT_EQ(FullSaveType(2, 0), kSaveIff);
  EXPECT_EQ(FullSaveType(2, 1), kSaveGif);
  // The filter strings list the same types in the same order.
  for (auto [id, chop] : {std::pair{21110, 1}, {21112, 0}}) {
    std::string filter(LoadString(id));
    auto types = OfferedSaveTypes(chop);
    std::size_t at = 0;
    for (int t : types) {
      std::string ext(SaveTypeExtension(t));
      for (auto& c : ext) c = static_cast<char>(std::toupper(c));
      at = filter.find("|*." + ext + "|", at);
      ASSERT_NE(at, std::string::npos) << id << " " << ext;
    }
    EXPECT_EQ(std::count(filter.begin(), filter.end(), '|'), 2 * static_cast<long>(types.size()));
  }

  EXPECT_EQ(SaveOutputName("picture.tga", kSaveToasterFs), "picture.fs");
  EXPECT_EQ(SaveOutputName("picture", kSaveBitmap), "picture.bmp");
  EXPECT_EQ(SaveOutputName(SaveOutputName("picture", kSaveBitmap), kSaveTiff), "picture.tif");
  EXPECT_EQ(SaveOutputName("my.pictures/x", kSaveTiff), "my.pictures/x");

  EXPECT_EQ(PreselectedDepth(kSaveBitmap, 7), kDepth1);
  EXPECT_EQ(PreselectedDepth(kSaveBitmap, 5), kDepth8);
  // The stored default 24 is no entry: the fullest depth, which keeps alpha.
  EXPECT_EQ(PreselectedDepth(kSaveBitmap, 24), kDepthAlpha);
  EXPECT_EQ(PreselectedDepth(kSavePcx, 24), kDepth24);
  EXPECT_EQ(PreselectedDepth(kSaveBitmap, -1), kDepthAlpha);
  EXPECT_EQ(PreselectedDepth(kSaveTiff, 3), kDepth24);
  EXPECT_EQ(PreselectedDepth(kSaveTiff, 0), kDepthAlpha);

  // TIFF compression is offered only with the LZW features.
  auto tiff = [](SaveChoices c) { auto b = CompressionFor(kSaveTiff, c); return std::pair{b.checked, b.enabled}; };
  EXPECT_EQ(tiff({.compress = 1}), std::pair(false, false));
  EXPECT_EQ(tiff({.compress = 1, .chopMem = 1}), std::pair(true, true));
}

}  // namespace
}  // namespace qv::test
