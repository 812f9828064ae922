// The Targa, GIF and PCX readers against the outside world: every corpus
// file through the dispatcher, against its reference decode (or a peer's
// decode where none ships), with each documented-rule difference named.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "app/program.h"
#include "formats/format_test_util.h"
#include "formats/image_files.h"
#include "support/program_fixture.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

class StillCorpusTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    if (!fs::is_directory(CorpusDir() / "tga")) GTEST_SKIP() << "corpus not found at " << CorpusDir();
    if (!HaveTool("convert") || !HaveTool("pcxtoppm")) GTEST_SKIP() << "ImageMagick and netpbm decode the references";
    TheProgram().save.chopMem = 1;
  }

  struct Outcome {
    std::vector<std::string> unexpected, stale, refused;
    int compared = 0;
  };

  // Loads every file of a folder with the given extensions. The reference
  // of a file gives RGBA bytes (empty: none); `known` lists the files that
  // differ from it and why; `refusals` the files that must give a message
  // and no image.
  Outcome Run(const std::string& folder, const std::set<std::string>& extensions, int fileType,
              const std::function<std::vector<std::uint8_t>(const fs::path&, int, int)>& reference,
              const std::map<std::string, std::string>& known, const std::set<std::string>& refusals) {
    Outcome o;
    const fs::path root = CorpusDir() / folder;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      std::string ext = entry.path().extension().string();
      std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
      if (!extensions.count(ext)) continue;
      const std::string rel = fs::relative(entry.path(), root).string();
      host->notes.clear();
      host->messages.clear();
      std::string path = entry.path().string();
      ImageRecord* image = LoadImageFile(nullptr, path);
      if (!image) {
        EXPECT_FALSE(host->notes.empty() && host->messages.empty()) << rel << " refused without a word";
        o.refused.push_back(rel);
        continue;
      }
      EXPECT_EQ(image->fileType, fileType) << rel << " changed reader";
      const bool alpha = image->hasAlpha != 0;
      auto ours = Pixels(image);
      auto theirs = reference(entry.path(), image->width, image->height);
      FreeImage(image);
      if (rel.rfind("bad/", 0) == 0) continue;  // survived; their decode is nobody's reference
      if (theirs.empty()) continue;
      ++o.compared;
      if (theirs.size() != ours.size()) {
        o.unexpected.push_back(rel + " (size)");
        continue;
      }
      if (!alpha) ours = Rgb(ours), theirs = Rgb(theirs);
      const bool same = ours == theirs;
      if (!same && !known.count(rel)) o.unexpected.push_back(rel);
      if (same && known.count(rel)) o.stale.push_back(rel);
    }
    for (const auto& r : refusals)
      EXPECT_TRUE(std::find(o.refused.begin(), o.refused.end(), r) != o.refused.end()) << r << " was read";
    for (const auto& r : o.refused) EXPECT_TRUE(refusals.count(r)) << r << " was refused";
    EXPECT_TRUE(o.unexpected.empty()) << ::testing::PrintToString(o.unexpected);
    EXPECT_TRUE(o.stale.empty()) << "no longer differ: " << ::testing::PrintToString(o.stale);
    return o;
  }
};

std::vector<std::uint8_t> Magick(const fs::path& file, bool orient = false) {
  auto out = RunOutput("convert " + Quote(file.string()) + "[0] " + (orient ? "-auto-orient " : "") +
                       "-depth 8 rgba:- 2>/dev/null");
  return {out.begin(), out.end()};
}

TEST_F(StillCorpusTest, Targa) {
  const fs::path root = CorpusDir() / "tga";
  auto reference = [&](const fs::path& file, int, int) -> std::vector<std::uint8_t> {
    fs::path beside = file;
    beside.replace_extension(".png");
    const std::string name = file.filename().string();
    std::vector<fs::path> candidates = {beside,
                                        root / "image-rs" / "reference" / "tga" / "testsuite" / (name + ".png"),
                                        root / "truevision-2.0-samples" / "reference-image-rs" / (name + ".png")};
    // Pillow's set: <size>_<mode>_<origin>_<packing>.tga against <size>_<mode>.png.
    if (file.parent_path().filename() == "common")
      candidates.push_back(file.parent_path() / (name.substr(0, name.rfind('_', name.rfind('_') - 1)) + ".png"));
    if (name == "devarea.tga") candidates.push_back(file.parent_path() / "extarea.png");
    if (name == "200x32_p_bl_raw_origin.tga") candidates.push_back(root / "pillow" / "common" / "200x32_p.png");
    for (const auto& c : candidates)
      if (fs::exists(c)) return Magick(c);
    return Magick(file, true);  // no reference: ImageMagick's decode, upright
  };
  // Where the documented rules differ from the references.
  const std::map<std::string, std::string> known = {
      {"image-rs/images/tga/testsuite/b5-attrib.tga", "5-bit values widened by bit copying, the reference rounds"},
      {"image-rs/images/tga/testsuite/b5-cmap.tga", "5-bit values widened by bit copying, the reference rounds"},
      {"image-rs/images/tga/testsuite/b5-noattrib.tga", "5-bit values widened by bit copying, the reference rounds"},
      {"image-rs/images/tga/testsuite/b5-unused-cmap.tga", "5-bit values widened by bit copying, the reference rounds"},
      {"pillow/rgba16.tga", "5-bit values widened by bit copying, ImageMagick rounds"},
      {"twelvemonkeys/XING_B16.TGA", "5-bit values widened by bit copying, ImageMagick rounds"},
      {"twelvemonkeys/XING_T16.TGA", "5-bit values widened by bit copying, ImageMagick rounds"},
      {"kimageformats/rgba.tga", "4 attribute bits kept as stored (descriptor bits 0-3 are not used)"},
  };
  // Grey Targa (types 3 and 11) is not recognised, so the RAW probe keeps
  // its place; the rest are the corpus's broken files.
  std::set<std::string> refusals = {
      "bad/oiio/crash-20250423.tga", "bad/oiio/crash-bomb-65535.tga", "bad/oiio/crash1.tga",
      "bad/oiio/crash1707.tga", "bad/oiio/crash2.tga", "bad/oiio/crash3.tga", "bad/oiio/crash3952.tga",
      "bad/oiio/crash4.tga", "bad/oiio/crash5.tga", "bad/oiio/crash6.tga",
      "bad/pillow-cross_scan_line_truncated.tga", "bad/pillow-p_8.tga", "kimageformats/bw.tga",
      "kimageformats/bwa.tga", "pillow/cross_scan_line.tga", "pillow/la.tga",
      "serenity/buggie-black-and-white-uncompressed.tga", "truevision-2.0-samples/cbw8.tga",
      "truevision-2.0-samples/ubw8.tga", "twelvemonkeys/monochrome16_top_left.tga",
      "twelvemonkeys/monochrome16_top_left_rle.tga"};
  for (const char* size : {"1x1", "200x32"})
    for (const char* mode : {"l", "la"})
      for (const char* packing : {"bl_raw", "bl_rle", "tl_raw", "tl_rle"})
        if (std::string(size) == "200x32" || std::string(mode) == "l")
          refusals.insert(std::string("pillow/common/") + size + "_" + mode + "_" + packing + ".tga");
  Outcome o = Run("tga", {".tga"}, kFileTga, reference, known, refusals);
  EXPECT_GT(o.compared, 60);

  // The 5-bit rule exactly: the reference's value v scaled to 5 bits and
  // widened by copying its top bits down.
  ImageRecord* image = nullptr;
  std::string path = (root / "image-rs/images/tga/testsuite/b5-cmap.tga").string();
  image = LoadImageFile(nullptr, path);
  ASSERT_NE(image, nullptr);
  auto theirs = Rgb(Magick(root / "image-rs/reference/tga/testsuite/b5-cmap.tga.png"));
  for (auto& v : theirs) {
    int five = (v * 31 + 127) / 255;
    v = static_cast<std::uint8_t>((five << 3) | (five >> 2));
  }
  EXPECT_EQ(Rgb(Pixels(image)), theirs);
  FreeImage(image);
  // Grey files are not Targa here: message 18, and no note.
  host->messages.clear();
  path = (root / "truevision-2.0-samples/ubw8.tga").string();
  EXPECT_EQ(LoadImageFile(nullptr, path), nullptr);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{18});
}

TEST_F(StillCorpusTest, Gif) {
  auto reference = [](const fs::path& file, int, int) -> std::vector<std::uint8_t> {
    const std::string name = file.stem().string();
    // giflib's gif2rgb dumps of the screen, RGB; solid2's is gzipped.
    fs::path rgb = file.parent_path().parent_path() / "tests" / (name + ".rgb");
    std::string raw;
    if (fs::exists(rgb)) raw = RunOutput("cat " + Quote(rgb.string()));
    else if (fs::exists(rgb.string() + ".gz")) raw = RunOutput("gzip -dc " + Quote(rgb.string() + ".gz"));
    if (!raw.empty()) {
      std::vector<std::uint8_t> out;
      for (std::size_t i = 0; i + 2 < raw.size(); i += 3)
        out.insert(out.end(), {std::uint8_t(raw[i]), std::uint8_t(raw[i + 1]), std::uint8_t(raw[i + 2]), 255});
      return out;
    }
    std::string rel = file.string();
    auto at = rel.find("/images/");
    if (at != std::string::npos) {
      fs::path ref = rel.substr(0, at) + "/reference/" + rel.substr(at + 8) + ".png";
      if (fs::exists(ref)) return Magick(ref);
    }
    // ImageMagick's first frame on the whole screen.
    auto out = RunOutput("convert " + Quote(file.string()) + " -coalesce -delete 1--1 -depth 8 rgba:- 2>/dev/null");
    return {out.begin(), out.end()};
  };
  const std::string rule = "every image of the file drawn in turn; transparency, disposal and background not used";
  const std::map<std::string, std::string> known = {
      {"image-rs/images/gif/anim/any-disposal.gif", rule},
      {"image-rs/images/gif/anim/border_touching_layers.gif", rule},
      {"image-rs/images/gif/anim/issue_1455_undersized.gif", rule},
      {"image-rs/images/gif/anim/mixed-disposal.gif", rule},
      {"image-rs/images/gif/anim/large-gif-anim-full-frame-replace.gif", rule},
      {"image-rs/images/gif/anim/large-gif-anim-combine.gif", rule},
      {"pillow/first_frame_transparency.gif", rule},
      {"pillow/background_outside_palette.gif", rule},
      {"pillow/chi.gif", rule},
      {"pillow/comment_after_last_frame.gif", rule},
      {"pillow/dispose_bgnd.gif", rule},
      {"pillow/dispose_none.gif", rule},
      {"pillow/dispose_prev.gif", rule},
      {"pillow/missing_background.gif", rule},
  };
  const std::set<std::string> refusals = {"bad/oiio-crash_4163.gif",
                                          "bad/oiio-gif_idx_overflow_32768x16385_top16384_1x1.gif",
                                          "bad/pillow-decompression_bomb.gif", "bad/pillow-zero_width.gif"};
  Outcome o = Run("gif", {".gif"}, kFileGif, reference, known, refusals);
  EXPECT_GT(o.compared, 30);
}

TEST_F(StillCorpusTest, Pcx) {
  auto reference = [](const fs::path& file, int, int) -> std::vector<std::uint8_t> {
    fs::path beside = file;
    beside.replace_extension(".png");
    if (fs::exists(beside)) return Magick(beside);
    auto out = RunOutput("pcxtoppm " + Quote(file.string()) + " 2>/dev/null | convert - -depth 8 rgba:-");
    return {out.begin(), out.end()};
  };
  const std::map<std::string, std::string> known = {
      // ImageMagick and netpbm read the palette as stored, as we do.
      {"kimageformats/ccbug_463951.pcx", "the reference stretches the palette's grays to 0..255"},
  };
  const std::set<std::string> refusals = {"bad/pillow-ossfuzz-4836216264589312.pcx", "bad/pillow-pcx_overrun.bin",
                                          "bad/pillow-pcx_overrun2.bin", "pillow/01r_00.pcx"};
  Outcome o = Run("pcx", {".pcx", ".bin"}, kFilePcx, reference, known, refusals);
  EXPECT_GT(o.compared, 20);
  std::string path = (CorpusDir() / "pcx/kimageformats/ccbug_463951.pcx").string();
  ImageRecord* image = LoadImageFile(nullptr, path);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(Pixels(image), Magick(path));
  FreeImage(image);
}

}  // namespace
}  // namespace qv::test
