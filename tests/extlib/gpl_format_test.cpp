#include "extlib/gpl_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(GplFormatTest, RoundTripKeepsEveryEntryAndTheName) {
  PaletteRecord p{};
  p.count = 3;
  std::strcpy(p.name, "Sunset");
  p.red[1] = 250;
  p.green[2] = 7;
  p.blue[0] = 128;
  std::string text = qvpal::FormatGpl(p);
  PaletteRecord back{};
  ASSERT_TRUE(qvpal::ParseGpl(text, back));
  EXPECT_EQ(back.count, 3);
  EXPECT_STREQ(back.name, "Sunset");
  EXPECT_EQ(back.red[1], 250);
  EXPECT_EQ(back.green[2], 7);
  EXPECT_EQ(back.blue[0], 128);
  // A count of 0 stands for 256 entries.
  p.count = 0;
  ASSERT_TRUE(qvpal::ParseGpl(qvpal::FormatGpl(p), back));
  EXPECT_EQ(back.count, 256);
}

TEST(GplFormatTest, HostileFilesLeaveTheRecordAlone) {
  PaletteRecord p{};
  p.count = 5;
  p.red[0] = 9;
  for (const char* bad : {"", "JASC-PAL\n", "GIMP Palette\nName: x\n", "GIMP Palette\n1 2\n", "GIMP Palette\n1 2 x\n"}) {
    EXPECT_FALSE(qvpal::ParseGpl(bad, p)) << bad;
    EXPECT_EQ(p.count, 5);
    EXPECT_EQ(p.red[0], 9);
  }
  // Too many entries are cut at the record's size, values clamped.
  std::string many = "GIMP Palette\nName: " + std::string(200, 'n') + "\n";
  for (int i = 0; i < 1500; ++i) many += "999 0 0 big\n";
  ASSERT_TRUE(qvpal::ParseGpl(many, p));
  EXPECT_EQ(p.count, QVPAL_MAX_ENTRIES);
  EXPECT_EQ(p.red[1023], 255);
  EXPECT_EQ(std::string(p.name).size(), QVPAL_NAME_MAX - 1u);
}

}  // namespace
