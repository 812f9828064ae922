// The TIFF and JPEG loader libraries, called the way the program calls them:
// loaded by name for one call, through the dispatcher and the save choices.
#include <cstdlib>
#include <filesystem>

#include "app/program.h"
#include "formats/format_test_util.h"
#include "formats/image_files.h"
#include "formats/loader_library.h"
#include "formats/save_choices.h"
#include "support/program_fixture.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

class LoaderPluginTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    if (FindLoaderLibrary(kTiffLibrary).empty() || FindLoaderLibrary(kJpegLibrary).empty())
      GTEST_SKIP() << "loader libraries not built";
  }
  ImageRecord* Load(std::string path) { return LoadImageFile(nullptr, path); }
  int Save(ImageRecord* image, const std::string& path, int type, int entry, int compress = 0, int quality = 75) {
    return SaveImageFile(image, path, type, entry, compress, quality);
  }
};

int WorstDelta(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  if (a.size() != b.size()) return 256;
  int worst = 0;
  for (std::size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

TEST_F(LoaderPluginTest, TiffRoundTripsWithAndWithoutAlphaAndLzwOnlyWithChopMem) {
  ImageRecord* opaque = TestPattern(37, 21);
  ImageRecord* alpha = TestPattern(37, 21, true);
  ASSERT_EQ(Save(opaque, "rgb.tif", kSaveTiff, kDepth24), 0);
  ASSERT_EQ(Save(alpha, "rgba.tif", kSaveTiff, kDepthAlpha), 0);
  ImageRecord* back = Load("rgb.tif");
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(Pixels(back), Pixels(opaque));
  EXPECT_STREQ(back->format, "TIFF");
  EXPECT_EQ(back->fileType, kFileTif);
  EXPECT_EQ(back->bitDepth, 24);
  EXPECT_EQ(back->hasAlpha, 0);
  FreeImage(back);
  back = Load("rgba.tif");
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(Pixels(back), Pixels(alpha));
  EXPECT_EQ(back->hasAlpha, 1);
  FreeImage(back);
  if (HaveTool("convert")) {
    EXPECT_EQ(MagickRgba("rgba.tif"), Pixels(alpha));
  }

  // The compression box asks for LZW; it is written only while ChopMem is
  // set, and an LZW file is read only then.
  ASSERT_EQ(Save(opaque, "plain.tif", kSaveTiff, kDepth24, 1), 0);
  TheProgram().save.chopMem = 1;
  ASSERT_EQ(Save(opaque, "lzw.tif", kSaveTiff, kDepth24, 1), 0);
  if (HaveTool("identify")) {
    EXPECT_EQ(RunOutput("identify -format %C plain.tif"), "None");
    EXPECT_EQ(RunOutput("identify -format %C lzw.tif"), "LZW");
  }
  back = Load("lzw.tif");
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(Pixels(back), Pixels(opaque));
  FreeImage(back);
  TheProgram().save.chopMem = 0;
  int places = TheProgram().memory.placesInUse;
  EXPECT_EQ(Load("lzw.tif"), nullptr);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{101});
  EXPECT_EQ(TheProgram().memory.placesInUse, places);
  FreeImage(opaque);
  FreeImage(alpha);
}

TEST_F(LoaderPluginTest, JpegRoundTripsWithinTheQualityAndReadsPeersFiles) {
  ImageRecord* image = TestPattern(64, 48);
  // A smooth picture, so that the quality and not the pattern's edges rules.
  LockImage(image);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      std::uint8_t* p = PixelAt(image, x, y);
      p[0] = static_cast<std::uint8_t>(x * 4), p[1] = static_cast<std::uint8_t>(y * 5), p[2] = 128;
    }
  UnlockImage(image);
  ASSERT_EQ(Save(image, "q95.jpg", kSaveJpeg, kDepthLossy, 1, 95), 0);
  ASSERT_EQ(Save(image, "q10.jpg", kSaveJpeg, kDepthLossy, 1, 10), 0);
  EXPECT_LT(fs::file_size("q10.jpg"), fs::file_size("q95.jpg"));
  ImageRecord* back = Load("q95.jpg");
  ASSERT_NE(back, nullptr);
  EXPECT_LE(WorstDelta(Pixels(back), Pixels(image)), 8);
  EXPECT_STREQ(back->format, "JPG");
  EXPECT_EQ(back->bitDepth, 24);
  FreeImage(back);

  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick needed for the peers' files";
  // Grey and progressive files from a peer; and a file behind a 128-byte
  // header, which only the dispatcher's second probe finds.
  ASSERT_EQ(std::system("convert q95.jpg -colorspace Gray grey.jpg && convert q95.jpg -interlace Plane prog.jpg"), 0);
  for (const char* name : {"grey.jpg", "prog.jpg"}) {
    back = Load(name);
    ASSERT_NE(back, nullptr) << name;
    EXPECT_LE(WorstDelta(Pixels(back), MagickRgba(name)), 2) << name;
    FreeImage(back);
  }
  auto jpeg = FileBytes("q95.jpg");
  std::vector<std::uint8_t> mac(128, 0);
  mac.insert(mac.end(), jpeg.begin(), jpeg.end());
  WriteBytes("mac.pct", mac);
  back = Load("mac.pct");
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->fileType, kFileJpg);
  FreeImage(back);
  FreeImage(image);
}

TEST_F(LoaderPluginTest, CorpusFilesMatchTheirReferencesOrAreRefusedCleanly) {
  fs::path corpus = CorpusDir();
  if (!fs::is_directory(corpus / "tiff")) GTEST_SKIP() << "corpus not found at " << corpus;
  TheProgram().save.chopMem = 1;
  fs::path lib = corpus / "tiff" / "libtiff";
  for (auto [tiff, ref] : {std::pair{"rgb-3c-8b.tiff", "rgb-3c-8b.ppm"}, {"minisblack-1c-8b.tiff", "minisblack-1c-8b.pgm"},
                           {"miniswhite-1c-1b.tiff", "miniswhite-1c-1b.pbm"}}) {
    ImageRecord* image = Load((lib / tiff).string());
    ASSERT_NE(image, nullptr) << tiff;
    if (HaveTool("convert")) {
      EXPECT_EQ(Pixels(image), MagickRgba((lib / ref).string())) << tiff;
    }
    FreeImage(image);
  }
  int read = 0, refused = 0;
  for (const char* folder : {"tiff", "jpeg"})
    for (const auto& e : fs::recursive_directory_iterator(corpus / folder)) {
      if (!e.is_regular_file() || e.path().extension() == ".png" || e.path().extension() == ".txt") continue;
      host->messages.clear();
      ImageRecord* image = Load(e.path().string());
      if (image) {
        ++read;
      } else {
        ++refused;
        EXPECT_FALSE(host->messages.empty() && host->notes.empty()) << e.path();
      }
      FreeImage(image);
    }
  EXPECT_GT(read, 60);
  std::cout << "TIFF/JPEG corpus: " << read << " read, " << refused << " refused\n";
  EXPECT_EQ(TheProgram().memory.placesInUse, 0);
}

TEST_F(LoaderPluginTest, MissingOrBrokenLibraryGivesItsMessage) {
  ImageRecord* image = TestPattern(2, 2);
  EXPECT_EQ(LoadThroughLibrary("QVldNONE", "x.tif"), nullptr);
  EXPECT_EQ(SaveThroughLibrary("QVldNONE", "x.tif", image, 0), 1);
  // A library without the entries: any shared object will do.
  fs::create_directory("libs");
  for (const char* candidate : {"/lib/x86_64-linux-gnu/libz.so.1", "/usr/lib/x86_64-linux-gnu/libz.so.1"})
    if (fs::exists(candidate) && !fs::exists("libs/libQVldFAKE.so")) fs::copy_file(candidate, "libs/libQVldFAKE.so");
  std::string dir = (workDir / "libs").string();
  const char* old = std::getenv(kPluginDirVariable);
  std::string saved = old ? old : "";
  ::setenv(kPluginDirVariable, dir.c_str(), 1);
  WriteBytes("fake.tif", {'I', 'I', 42, 0});
  if (fs::exists("libs/libQVldFAKE.so")) {
    EXPECT_EQ(LoadThroughLibrary("QVldFAKE", "fake.tif"), nullptr);
    EXPECT_EQ(SaveThroughLibrary("QVldFAKE", "out.tif", image, 0), 1);
    EXPECT_EQ(host->MessageNumbers(), (std::vector<int>{75, 75, 76, 76}));
    EXPECT_EQ(host->messages[2].extra, "File: \"fake.tif\"");
  }
  if (old) ::setenv(kPluginDirVariable, saved.c_str(), 1);
  else ::unsetenv(kPluginDirVariable);
  FreeImage(image);
}

}  // namespace
}  // namespace qv::test
