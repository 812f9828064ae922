#include "extlib/palette_library.h"

#include <array>

#include "support/program_fixture.h"

namespace qv::test {
namespace {

class PaletteLibraryTest : public ProgramTest {
 protected:
  void UseFakeLibrary() { TheProgram().palettes.searchOnly = QV_FAKE_QVPAL_DIR; }
};

TEST_F(PaletteLibraryTest, MissingLibraryShowsMessage75) {
  TheProgram().palettes.searchOnly = workDir;
  int r = 1, g = 2, b = 3;
  EXPECT_EQ(AskCol(&r, &g, &b, "Key Color"), 1);
  EXPECT_EQ(OpenPal(&TheProgram().palettes.mapping), 1);
  ASSERT_EQ(host->MessageNumbers(), (std::vector<int>{75, 75}));
  EXPECT_EQ(host->messages[0].extra, "QVpal.so");
  EXPECT_EQ(r, 1);
}

TEST_F(PaletteLibraryTest, MissingEntryShowsMessage90AndUnloads) {
  UseFakeLibrary();
  EXPECT_EQ(OpenPal(&TheProgram().palettes.render), 1);
  EXPECT_EQ(SavePal(&TheProgram().palettes.render), 1);
  ASSERT_EQ(host->MessageNumbers(), (std::vector<int>{90, 90}));
  EXPECT_EQ(host->messages[0].extra, "QVpal.so \"OpenPal\"");
  EXPECT_EQ(host->messages[1].extra, "QVpal.so \"SavePal\"");
  EXPECT_FALSE(TheProgram().palettes.library);
}

TEST_F(PaletteLibraryTest, AskColUpdatesTheColourInPlace) {
  UseFakeLibrary();
  SetCustomColour(15, {3, 2, 1});
  int r = 10, g = 200, b = 0;
  EXPECT_EQ(AskCol(&r, &g, &b, "Line Color 1"), 0);
  EXPECT_EQ(r, 245);
  EXPECT_EQ(g, 55);
  EXPECT_EQ(b, 255);
  // The library reached the program's messages and memory through the callbacks.
  ASSERT_EQ(host->messages.size(), 1u);
  EXPECT_EQ(host->messages[0].extra, "Line Color 1");
  EXPECT_EQ(TheProgram().palettes.currentColour, 0x010203u);
  EXPECT_FALSE(TheProgram().palettes.library) << "loaded for one call only";

  PaletteRecord record{};
  EXPECT_EQ(LoadPal(&record), 0);
  EXPECT_STREQ(record.name, "fake.gpl");
}

TEST_F(PaletteLibraryTest, StandardPalettes) {
  InitStandardPalettes();
  const auto& p = TheProgram().palettes;
  EXPECT_STREQ(p.mapping.name, "GRAY256.pal");
  EXPECT_EQ(p.mapping.red[200], 200);
  EXPECT_STREQ(p.render.name, "RENDER.pal");
  // The cube and ramp of a new image's palette (checked in detail with the images).
  const int cell = 4 * 8 * 3 + 4 * 2 + 1;  // red 3, green 2, blue 1
  EXPECT_EQ((std::array<int, 3>{p.render.red[cell], p.render.green[cell], p.render.blue[cell]}),
            (std::array<int, 3>{127, 72, 85}));
  EXPECT_EQ(p.render.red[244], 20 * 255 / 21);
}

}  // namespace
}  // namespace qv::test
