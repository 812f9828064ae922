// The IFF, PPM and SGI readers against the outside world: the corpus files
// with their reference decodes, files the peers write, and the peers
// reading what the program writes.
#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "formats/format_test_util.h"
#include "formats/iff.h"
#include "formats/image_files.h"
#include "formats/ppm.h"
#include "formats/sgi.h"
#include "support/program_fixture.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

// What ImageMagick decodes a file to at 16 bits a sample (RGBA, most
// significant byte first), as values.
std::vector<int> Magick16(const fs::path& path) {
  int status = 0;
  std::string out = RunOutput("convert " + Quote(path.string()) + "[0] -depth 16 -endian MSB rgba:- 2>/dev/null", &status);
  std::vector<int> values;
  if (status != 0) return values;
  for (std::size_t i = 0; i + 1 < out.size(); i += 2)
    values.push_back(static_cast<std::uint8_t>(out[i]) << 8 | static_cast<std::uint8_t>(out[i + 1]));
  return values;
}

// 16-bit reference values as the readers turn samples into bytes: rounded.
std::vector<std::uint8_t> Rounded(const std::vector<int>& values) {
  std::vector<std::uint8_t> out;
  for (int v : values) out.push_back(static_cast<std::uint8_t>((v + 128) / 257));
  return out;
}

// What ffmpeg decodes a file to, as RGB bytes (empty when it cannot).
std::vector<std::uint8_t> FfmpegRgb(const fs::path& path) {
  int status = 0;
  std::string out = RunOutput("ffmpeg -v error -i " + Quote(path.string()) + " -frames:v 1 -pix_fmt rgb24 -f rawvideo - 2>/dev/null", &status);
  if (status != 0) return {};
  return {out.begin(), out.end()};
}

int WorstDelta(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  if (a.size() != b.size()) return 256;
  int worst = 0;
  for (std::size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

// Compares RGBA, or RGB for a picture without alpha; what lies under a
// fully transparent pixel does not count.
void Comparable(std::vector<std::uint8_t>& ours, std::vector<std::uint8_t>& theirs, bool alpha) {
  if (!alpha) {
    ours = Rgb(ours);
    theirs = Rgb(theirs);
    return;
  }
  for (std::size_t i = 0; i + 3 < ours.size() && i + 3 < theirs.size(); i += 4)
    if (ours[i + 3] == 0 && theirs[i + 3] == 0) std::fill_n(&ours[i], 3, 0), std::fill_n(&theirs[i], 3, 0);
}

std::set<std::array<std::uint8_t, 3>> PaletteOf(const ImageRecord* image) {
  std::set<std::array<std::uint8_t, 3>> colours;
  for (int i = 0; i < 256; ++i) colours.insert({image->red[i], image->green[i], image->blue[i]});
  return colours;
}

bool AllInPalette(ImageRecord* image) {
  auto palette = PaletteOf(image);
  auto rgb = Rgb(Pixels(image));
  for (std::size_t i = 0; i < rgb.size(); i += 3)
    if (!palette.count({rgb[i], rgb[i + 1], rgb[i + 2]})) return false;
  return true;
}

class PictureCorpusTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    corpus = CorpusDir();
    if (!fs::is_directory(corpus / "ilbm")) GTEST_SKIP() << "corpus not found at " << corpus << " (set QV_CORPUS)";
    if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick's convert is needed to decode the reference PNGs";
  }
  std::vector<fs::path> Files(const std::string& folder, std::set<std::string> extensions) {
    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(corpus / folder))
      if (e.is_regular_file() && extensions.count(e.path().extension().string())) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
  }
  Recognition Recognise(const fs::path& file) {
    return RecognizeImage(ReadFileRange(file.string(), 0, kProbeBytes), file.string());
  }
  fs::path corpus;
};

TEST_F(PictureCorpusTest, IlbmFilesDecodeToTheirReferences) {
  // Where the program's rule differs from the reference, and what the rule
  // gives instead (checked below).
  const std::map<std::string, std::string> ruleDiffers = {
      {"aga_pchg_amiga_16cl.iff", "PCHG palette changes are not applied: every row takes the CMAP"},
      {"aga_pchg_amiga_64cl.iff", "PCHG palette changes are not applied: every row takes the CMAP"},
      {"ocs_pchg_amiga_16cl.iff", "PCHG palette changes are not applied: every row takes the CMAP"},
      {"ocs_pchg_amiga_64cl.iff", "PCHG palette changes are not applied: every row takes the CMAP"},
      {"ps_testcard_cmyk.iff", "the CMYK chunk is not read: no CMAP leaves the default palette"},
      {"ham8.iff", "HAM8 values are v * 4 + v / 16 where the reference rounds v * 255 / 63"},
      // Bit b of a channel comes from its plane b + k - 8, so 16-bit channels
      // give the byte of their last 8 planes; this writer puts the low byte
      // there (the reference reads its first 8 planes as the high byte).
      {"sv5_testcard_rgb16.iff", "16-bit channels read from their last 8 planes: the reference's low byte"},
      {"sv5_testcard_rgba16.iff", "16-bit channels read from their last 8 planes: the reference's low byte"},
  };
  // ACBM and RGB8 are forms the program does not read; the rest are broken.
  const std::set<std::string> refused = {"testcard_acbm.iff", "sv5_testcard_rgb_rgb8.iff", "incorrect-cmap-size.iff",
                                         "incorrect-uncompressed-size.iff", "missing-body-chunk.iff",
                                         "truncated-bmhd-chunk.iff"};
  int compared = 0;
  for (const fs::path& file : Files("ilbm", {".iff", ".lbm", ".IFF"})) {
    const std::string name = file.filename().string();
    SCOPED_TRACE(name);
    EXPECT_EQ(Recognise(file), Recognition::Iff);
    host->notes.clear();
    ImageRecord* image = ReadIffFile(file.string());
    if (refused.count(name)) {
      EXPECT_EQ(image, nullptr);
      EXPECT_EQ(host->notes.size(), 1u);
      FreeImage(image);
      continue;
    }
    ASSERT_NE(image, nullptr) << ::testing::PrintToString(host->notes);
    fs::path reference = fs::path(file).replace_extension(".png");
    if (fs::exists(file.string() + ".json")) {
      std::string json = RunOutput("cat " + Quote(file.string() + ".json"));
      auto at = json.find("\"fileName\" : \"") + 14;
      reference = file.parent_path() / json.substr(at, json.find('"', at) - at);
    }
    std::vector<std::uint8_t> ours = Pixels(image), theirs;
    if (fs::exists(reference)) {
      theirs = Rounded(Magick16(reference));
    } else if (HaveTool("ffmpeg")) {
      // The Serenity files come without a decode of their own: a peer's is
      // the reference.
      auto rgb = FfmpegRgb(file);
      for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) theirs.insert(theirs.end(), {rgb[i], rgb[i + 1], rgb[i + 2], 255});
    }
    ASSERT_EQ(theirs.size(), ours.size()) << reference;
    Comparable(ours, theirs, image->hasAlpha);
    auto why = ruleDiffers.find(name);
    if (why == ruleDiffers.end()) {
      EXPECT_EQ(WorstDelta(ours, theirs), 0);
    } else {
      EXPECT_NE(ours, theirs) << "now matches its reference: " << why->second;
      if (name.find("pchg") != std::string::npos) {
        EXPECT_TRUE(AllInPalette(image));
        // The rows before the first change are the reference's.
        const std::size_t row = std::size_t(image->width) * 3;
        EXPECT_TRUE(std::equal(ours.begin(), ours.begin() + row, theirs.begin()));
      } else if (name == "ps_testcard_cmyk.iff") {
        ImageRecord* fresh = CreateImage(1, 1, "itst");
        EXPECT_EQ(PaletteOf(image), PaletteOf(fresh));
        EXPECT_TRUE(AllInPalette(image));
        FreeImage(fresh);
      } else if (name == "ham8.iff") {
        EXPECT_EQ(WorstDelta(ours, theirs), 1);
      } else {
        std::vector<std::uint8_t> low;
        for (int v : Magick16(reference)) low.push_back(static_cast<std::uint8_t>(v & 255));
        Comparable(ours = Pixels(image), low, image->hasAlpha);
        EXPECT_EQ(ours, low);
      }
    }
    ++compared;
    FreeImage(image);
  }
  EXPECT_GE(compared, 25);
}

TEST_F(PictureCorpusTest, PpmFilesDecodeAsImageMagickDoes) {
  int read = 0;
  for (const fs::path& file : Files("ppm", {".ppm", ".pnm"})) {
    const std::string name = file.filename().string();
    SCOPED_TRACE(name);
    host->messages.clear();
    auto start = ReadFileRange(file.string(), 0, 3);
    if (start.size() == 3 && start[1] == '3') {
      // Plain (text) pixmaps: "P3" then a line break is taken by the
      // signature order for a Targa (byte 2 is 10), not read as PPM.
      EXPECT_EQ(Recognise(file), Recognition::Targa);
      continue;
    }
    EXPECT_EQ(Recognise(file), Recognition::Ppm);
    ImageRecord* image = ReadPpmFile(file.string());
    if (file.parent_path().filename() == "bad") {
      EXPECT_EQ(image, nullptr);
      EXPECT_EQ(host->MessageNumbers(), std::vector<int>{24});
      continue;
    }
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(Rgb(Pixels(image)), Rgb(Rounded(Magick16(file))));
    FreeImage(image);
    ++read;
  }
  EXPECT_GE(read, 8);
}

TEST_F(PictureCorpusTest, SgiFilesDecodeToTheirReferences) {
  int read = 0;
  for (const fs::path& file : Files("sgi", {".sgi", ".rgb", ".bw", ".bin"})) {
    const std::string name = file.filename().string();
    SCOPED_TRACE(name);
    host->messages.clear();
    host->notes.clear();
    if (file.parent_path().parent_path().filename() == "bad") {
      // Whatever they are taken for, broken files give a report and no
      // picture.
      std::string path = file.string();
      ImageRecord* image = LoadImageFile(nullptr, path);
      EXPECT_EQ(image, nullptr);
      EXPECT_EQ(host->messages.size() + host->notes.size(), 1u);
      FreeImage(image);
      continue;
    }
    EXPECT_EQ(Recognise(file), Recognition::Sgi);
    ImageRecord* image = ReadSgiFile(file.string());
    ASSERT_NE(image, nullptr) << ::testing::PrintToString(host->notes);
    fs::path reference = fs::path(file).replace_extension(".png");
    // Pillow's colour hopper files are its hopper.ppm (the 16-bit one only
    // to within rounding: its own decode is the reference).
    if (name == "hopper.rgb" || name == "hopper.sgi") reference = corpus / "ppm" / "pillow" / "hopper.ppm";
    if (!fs::exists(reference)) reference = file;
    std::vector<std::uint8_t> ours = Pixels(image), theirs = Rounded(Magick16(reference));
    Comparable(ours, theirs, image->hasAlpha);
    EXPECT_EQ(WorstDelta(ours, theirs), 0) << reference;
    FreeImage(image);
    ++read;
  }
  EXPECT_GE(read, 15);
}

class PeerFilesTest : public PictureCorpusTest {
 protected:
  void SetUp() override {
    PictureCorpusTest::SetUp();
    if (IsSkipped()) return;
    for (const char* tool : {"ppmtoilbm", "ilbmtoppm", "pnmtosgi", "ffmpeg", "pamdepth"})
      if (!HaveTool(tool)) GTEST_SKIP() << tool << " is needed";
    ASSERT_EQ(std::system("convert -size 61x37 gradient:red-blue -swirl 120 -depth 8 src.ppm"), 0);
    ASSERT_EQ(std::system("pnmquant 16 src.ppm > q16.ppm 2>/dev/null"), 0);
  }
  std::vector<std::uint8_t> MagickRgb(const std::string& file) { return Rgb(MagickRgba(file)); }
  ImageRecord* Load(const std::string& file) {
    std::string path = file;
    return LoadImageFile(nullptr, path);
  }
};

TEST_F(PeerFilesTest, FilesThePeersWriteLoadWithTheirPixels) {
  struct Case {
    std::string name, command, reference;
    int tolerance = 0;
  };
  const std::vector<Case> cases = {
      {"p24.iff", "ppmtoilbm -24force src.ppm", "src.ppm"},
      {"p24raw.iff", "ppmtoilbm -24force -nocompress src.ppm", "src.ppm"},
      {"pal.iff", "ppmtoilbm q16.ppm", "q16.ppm"},
      {"dc12.iff", "ppmtoilbm -dcforce -dcbits 4 4 4 src.ppm", "dc12.ppm"},
      // 5-bit channels: the rule repeats the top bits, netpbm rounds.
      {"dc15.iff", "ppmtoilbm -dcforce src.ppm", "dc15.ppm", 1},
      {"ham6.iff", "ppmtoilbm -hamforce src.ppm", "ffmpeg"},
      {"ham8.iff", "ppmtoilbm -ham8 src.ppm", "ffmpeg"},
      {"v.sgi", "pnmtosgi -verbatim src.ppm", "src.ppm"},
      {"r.sgi", "pnmtosgi -rle src.ppm", "src.ppm"},
      {"im.sgi", "convert src.ppm sgi:-", "src.ppm"},
      {"im16.sgi", "convert src.ppm -depth 16 sgi:-", "src.ppm"},
      {"gray.sgi", "convert src.ppm -colorspace gray sgi:-", "gray.sgi"},
      {"rgba.sgi", "convert src.ppm -alpha set -channel A -fx 'i/w' sgi:-", "rgba.sgi"},
      {"im16.ppm", "convert src.ppm -depth 16 ppm:-", "src.ppm"},
      {"max1000.ppm", "pamdepth 1000 src.ppm", "max1000-255.ppm"},
  };
  ASSERT_EQ(std::system("pamdepth 15 src.ppm | pamdepth 255 > dc12.ppm"), 0);
  ASSERT_EQ(std::system("pamdepth 31 src.ppm | pamdepth 255 > dc15.ppm"), 0);
  ASSERT_EQ(std::system("pamdepth 1000 src.ppm | pamdepth 255 > max1000-255.ppm"), 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(std::system((c.command + " > " + c.name + " 2>/dev/null").c_str()), 0);
    ImageRecord* image = Load(c.name);
    ASSERT_NE(image, nullptr);
    std::vector<std::uint8_t> ours = Pixels(image);
    if (c.name == "rgba.sgi") {
      EXPECT_TRUE(image->hasAlpha);
      EXPECT_EQ(ours, MagickRgba(c.name));
    } else {
      std::vector<std::uint8_t> theirs = c.reference == "ffmpeg" ? FfmpegRgb(c.name) : MagickRgb(c.reference);
      EXPECT_LE(WorstDelta(Rgb(ours), theirs), c.tolerance);
    }
    FreeImage(image);
  }
}

// ImageMagick has no ILBM reader; netpbm and ffmpeg read ours.
TEST_F(PeerFilesTest, PeersReadTheIlbmFilesWritten) {
  ImageRecord* image = Load("src.ppm");
  ASSERT_NE(image, nullptr);
  const std::vector<std::uint8_t> source = MagickRgb("src.ppm");
  for (bool compress : {true, false}) {
    ASSERT_EQ(WriteIlbm(image, "ours.iff", false, compress), 0);
    int status = 0;
    std::string netpbm = RunOutput("ilbmtoppm ours.iff 2>/dev/null | convert - -depth 8 rgb:-", &status);
    EXPECT_EQ(std::vector<std::uint8_t>(netpbm.begin(), netpbm.end()), source) << "ilbmtoppm, compress " << compress;
    EXPECT_EQ(FfmpegRgb("ours.iff"), source) << "ffmpeg, compress " << compress;
  }
  FreeImage(image);
}

}  // namespace
}  // namespace qv::test
