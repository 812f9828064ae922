// The BMP reader against the outside world: the corpus files with their
// reference decodes, and bitmaps written and read by ImageMagick and netpbm.
#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "formats/bmp.h"
#include "formats/format_test_util.h"
#include "support/program_fixture.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

class BmpCorpusTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    corpus = CorpusDir() / "bmp";
    if (!fs::is_directory(corpus)) GTEST_SKIP() << "corpus not found at " << corpus << " (set QV_CORPUS)";
    if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick's convert is needed to decode the reference PNGs";
  }
  fs::path corpus;
};

// The reference decode shipped beside a corpus file, if any.
fs::path ReferenceOf(const fs::path& corpus, const fs::path& file) {
  fs::path beside = file;
  beside.replace_extension(".png");
  if (fs::exists(beside)) return beside;
  std::string rel = fs::relative(file, corpus / "image-rs" / "images").string();
  if (rel.rfind("..", 0) != 0) {
    fs::path ref = corpus / "image-rs" / "reference" / (rel + ".png");
    if (fs::exists(ref)) return ref;
  }
  // Pillow's RLE8 samples only resemble their 24-bit originals; the peer's
  // decode of the file itself is the reference there.
  if (file.parent_path().filename() == "pillow") return file;
  return {};
}

// Files the program reads differently from their reference, and why. Each
// must still differ: a file that starts matching is taken off the list.
const std::map<std::string, std::string>& KnownDifferences() {
  static const std::map<std::string, std::string> known = {
      // 16-bit files without masks: the documented 5-5-5 rule shifts each
      // channel left by 3 where the references scale 31 to 255 (checked
      // exactly below).
      {"rgb16.bmp", "5-5-5 shifted, not scaled"},
      {"rgb16faketrns.bmp", "5-5-5 shifted, not scaled"},
      {"Info_X1_R5_G5_B5.bmp", "5-5-5 shifted, not scaled"},
      {"Info_X1_R5_G5_B5_Top_Down.bmp", "5-5-5 shifted, not scaled"},
      // OS/2 Huffman 1D has no decoder; the documented 1-bit rule reads the
      // bits as they are.
      {"pal1huffmsb.bmp", "Huffman-compressed 1-bit read as plain bits"},
      {"rgb32-111110.bmp", "11/11/10-bit channels rounded to 8 bits"},
      {"bmpsuite-2.8/q/rgb24prof2.bmp", "the suite author's reference applies the embedded colour profile"},
      {"rgb32-7187.bmp", "7-bit and 18-bit masks scaled to 0..255, the reference truncates"},
      {"rgba32-61754.bmp", "odd-width masks scaled to 0..255, the reference truncates"},
      {"rgba32-81284.bmp", "odd-width masks scaled to 0..255, the reference truncates"},
  };
  return known;
}

int ChannelDelta(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  int worst = 0;
  for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
  return a.size() == b.size() ? worst : 256;
}

TEST_F(BmpCorpusTest, EveryFileDecodesToItsReferenceOrIsRefused) {
  std::vector<std::string> read, refused, unexpected, stale;
  for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
    if (entry.path().extension() != ".bmp") continue;
    const fs::path file = entry.path();
    host->notes.clear();
    ImageRecord* image = ReadBmpFile(file.string());
    std::string name = file.filename().string();
    if (!image) {
      EXPECT_FALSE(host->notes.empty()) << name << " was refused without a note";
      refused.push_back(fs::relative(file, corpus).string());
      continue;
    }
    read.push_back(name);
    fs::path ref = ReferenceOf(corpus, file);
    std::vector<std::uint8_t> ours = Pixels(image);
    const bool alpha = image->hasAlpha != 0;
    int width = image->width, height = image->height;
    FreeImage(image);
    // The suite's bad files come with their collector's own decode, not an
    // authority; they only have to be survived.
    if (ref.empty() || file.parent_path().filename() == "b") continue;
    std::vector<std::uint8_t> theirs = MagickRgba(ref.string());
    ASSERT_EQ(theirs.size(), std::size_t{4} * width * height) << name << " against " << ref;
    if (!alpha) {
      ours = Rgb(ours);
      theirs = Rgb(theirs);
    } else {
      // What lies under a fully transparent pixel is nobody's business.
      for (std::size_t i = 0; i + 3 < ours.size(); i += 4)
        if (ours[i + 3] == 0 && theirs[i + 3] == 0) std::fill(&ours[i], &ours[i] + 3, 0), std::fill(&theirs[i], &theirs[i] + 3, 0);
    }
    bool same = ours == theirs;
    std::string rel = fs::relative(file, corpus).string();
    bool known = KnownDifferences().count(name) > 0 || KnownDifferences().count(rel) > 0;
    if (!same && !known) unexpected.push_back(name + " (worst channel delta " + std::to_string(ChannelDelta(ours, theirs)) + ")");
    if (same && known) stale.push_back(name);
    if (name == "rgb16.bmp") {
      // The documented rule exactly: the reference's 5-bit value, shifted.
      for (auto& v : theirs) v = static_cast<std::uint8_t>(((v * 31 + 127) / 255) << 3);
      EXPECT_EQ(ours, theirs);
    }
  }
  EXPECT_TRUE(unexpected.empty()) << ::testing::PrintToString(unexpected);
  EXPECT_TRUE(stale.empty()) << "no longer differ: " << ::testing::PrintToString(stale);
  EXPECT_GT(read.size(), 100u);
  // Refused: the deliberately bad files, and the packings no decoder exists
  // for (2-bit, 64-bit, embedded JPEG/PNG, RLE24).
  const std::set<std::string> expectRefused = {
      "bad/oiio-bomb-65535.bmp", "bad/oiio-huge-width.bmp", "bmpsuite-2.8/b/badbitcount.bmp",
      "bmpsuite-2.8/b/badwidth.bmp", "bmpsuite-2.8/b/reallybig.bmp", "bmpsuite-2.8/b/rletopdown.bmp",
      "bmpsuite-2.8/b/shortfile.bmp", "bmpsuite-2.8/q/pal2.bmp", "bmpsuite-2.8/q/pal2color.bmp",
      "bmpsuite-2.8/q/rgb24jpeg.bmp", "bmpsuite-2.8/q/rgb24png.bmp", "bmpsuite-2.8/q/rgb24rle24.bmp",
      "bmpsuite-2.8/q/rgba64.bmp"};
  std::set<std::string> got(refused.begin(), refused.end());
  for (const auto& f : expectRefused) EXPECT_TRUE(got.count(f)) << f << " was read";
  std::cout << "read " << read.size() << ", refused " << refused.size() << ": " << ::testing::PrintToString(refused)
            << "\n";
}

// Bitmaps the peers write, at every depth and packing they make, read with
// exactly the pixels the peer itself decodes.
TEST_F(BmpCorpusTest, PeersBitmapsReadAsThePeersDecodeThem) {
  const std::string src = (corpus / "bmpsuite-2.8" / "g" / "rgb24.bmp").string();
  const std::string pal = (corpus / "bmpsuite-2.8" / "g" / "pal8.bmp").string();
  struct Case {
    std::string name, command;
  };
  const std::vector<Case> cases = {
      {"im-1bit.bmp", "convert " + Quote(src) + " -monochrome -type bilevel BMP3:im-1bit.bmp"},
      {"im-4bit.bmp", "convert " + Quote(src) + " -colors 16 -type palette -define bmp:format=bmp3 BMP3:im-4bit.bmp"},
      {"im-8bit.bmp", "convert " + Quote(pal) + " -type palette BMP3:im-8bit.bmp"},
      {"im-555.bmp", "convert " + Quote(src) + " -define bmp:subtype=RGB555 BMP:im-555.bmp"},
      {"im-565.bmp", "convert " + Quote(src) + " -define bmp:subtype=RGB565 BMP:im-565.bmp"},
      {"im-24.bmp", "convert " + Quote(src) + " -type truecolor BMP3:im-24.bmp"},
      {"im-32.bmp", "convert " + Quote(src) + " -alpha set -channel A -fx 'i/w' -type truecoloralpha BMP:im-32.bmp"},
      {"im-rle8.bmp", "convert " + Quote(pal) + " -type palette -compress RLE BMP3:im-rle8.bmp"},
      {"pbm-1bit.bmp", "bmptopnm " + Quote(src) + " | ppmtopgm | pgmtopbm | ppmtobmp -bpp 1 > pbm-1bit.bmp"},
      {"pbm-4bit.bmp", "bmptopnm " + Quote(src) + " | pnmquant 16 | ppmtobmp -bpp 4 > pbm-4bit.bmp"},
      {"pbm-8bit.bmp", "bmptopnm " + Quote(pal) + " | ppmtobmp -bpp 8 > pbm-8bit.bmp"},
      {"pbm-24.bmp", "bmptopnm " + Quote(src) + " | ppmtobmp -bpp 24 > pbm-24.bmp"},
      {"pbm-os2.bmp", "bmptopnm " + Quote(src) + " | ppmtobmp -os2 > pbm-os2.bmp"},
      {"pbm-os2-8.bmp", "bmptopnm " + Quote(pal) + " | ppmtobmp -os2 -bpp 8 > pbm-os2-8.bmp"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(std::system((c.command + " 2>/dev/null").c_str()), 0) << c.command;
    ImageRecord* image = ReadBmpFile(c.name);
    ASSERT_NE(image, nullptr) << c.name;
    std::vector<std::uint8_t> ours = Pixels(image);
    std::vector<std::uint8_t> theirs = MagickRgba(c.name);
    if (!image->hasAlpha) {
      ours = Rgb(ours);
      theirs = Rgb(theirs);
    }
    if (c.name == "im-555.bmp" || c.name == "im-565.bmp") {
      // Peers widen 5- and 6-bit channels each their own way (ImageMagick
      // shifts 5-5-5 and replicates 5-6-5; the suite's references round);
      // the channel values themselves must agree exactly.
      for (std::size_t i = 0; i < ours.size(); ++i) {
        int bits = (c.name == "im-565.bmp" && i % 3 == 1) ? 6 : 5;
        int max = (1 << bits) - 1;
        EXPECT_EQ((ours[i] * max + 127) / 255, theirs[i] >> (8 - bits)) << c.name << " byte " << i;
      }
      FreeImage(image);
      continue;
    }
    EXPECT_EQ(ours, theirs) << c.name << " (delta " << ChannelDelta(ours, theirs) << ")";
    FreeImage(image);
  }
}

}  // namespace
}  // namespace qv::test
