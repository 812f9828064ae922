#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <unistd.h>

#include "app/program.h"
#include "display/colour_reduce.h"
#include "support/program_fixture.h"

namespace qv {
namespace {

class PaletteUsageTest : public test::ProgramTest {
 protected:
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(name, std::ios::binary) << text;
  }
  std::string Read(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  PaletteRecord& Render() { return TheProgram().palettes.render; }
};

TEST_F(PaletteUsageTest, SavedFilesLoadBackAndSizesAreClamped) {
  SetNumberOfColours(4);
  SetUsage(1, kUseAsIs);
  SetUsage(3, kUseSkip);
  ASSERT_EQ(SavePaletteUsage("a.plu"), 0);
  EXPECT_EQ(Read("a.plu"), "PALUSAGE\nSize 4\n0 p\n1 u\n2 p\n3 s\n");
  EXPECT_FALSE(std::filesystem::exists("a.plu.tmp"));

  SetUsage(1, kUsePick);
  SetUsage(3, kUsePick);
  SetNumberOfColours(100);
  ASSERT_EQ(LoadPaletteUsage("a.plu"), 0);
  EXPECT_EQ(NumberOfColours(), 4);
  EXPECT_EQ(std::string({UsageLetter(0), UsageLetter(1), UsageLetter(2), UsageLetter(3)}), "pups");

  // Either case; a size past the record's capacity is held to it, and then
  // entries up to the last one of the record can be named.
  Write("b.plu", "palusage\r\nsize 5000\r\n1023 S\r\n7 U\r\n");
  ASSERT_EQ(LoadPaletteUsage("b.plu"), 0);
  EXPECT_EQ(NumberOfColours(), 1024);
  EXPECT_EQ(UsageLetter(1023), 's');
  EXPECT_EQ(UsageLetter(7), 'u');
  EXPECT_TRUE(host->messages.empty());
}

TEST_F(PaletteUsageTest, BadFilesGiveMessagesAndNeverCrash) {
  EXPECT_EQ(LoadPaletteUsage("missing.plu"), 1);
  Write("wrong.plu", "PALETTE\nSize 4\n");
  EXPECT_EQ(LoadPaletteUsage("wrong.plu"), 1);
  Write("empty.plu", "");
  EXPECT_EQ(LoadPaletteUsage("empty.plu"), 1);
  EXPECT_EQ(host->MessageNumbers(), (std::vector<int>{71, 17, 17}));
  EXPECT_NE(host->messages[1].extra.find("wrong.plu"), std::string::npos);
  EXPECT_EQ(NumberOfColours(), 256);

  // Hostile lines: out-of-range and huge numbers, missing parts, unknown
  // letters, a very long line, binary noise. Entries are clamped into the
  // palette; lines that say nothing valid are passed over.
  SetNumberOfColours(16);
  std::string hostile = "PALUSAx\n-5 s\n99999999999999999999999 u\n3\n4 x\n  \n" + std::string(100000, '9') +
                        " s\nSiz\nSize -3\n5 p extra words\n";
  std::mt19937 rng(3);
  for (int i = 0; i < 5000; ++i) hostile.push_back(static_cast<char>(rng() % 256));
  Write("hostile.plu", hostile);
  ASSERT_EQ(LoadPaletteUsage("hostile.plu"), 0);
  EXPECT_EQ(UsageLetter(0), 's');
  EXPECT_EQ(NumberOfColours(), 2);  // "Size -3"
  EXPECT_EQ(UsageLetter(3), 'p');
  EXPECT_EQ(UsageLetter(4), 'p');

  // Only the first 2000 lines after the header count.
  std::string many = "PALUSAGE\nSize 16\n";
  for (int i = 0; i < 2000; ++i) many += "0 u\n";
  many += "1 s\n";
  Write("many.plu", many);
  ASSERT_EQ(LoadPaletteUsage("many.plu"), 0);
  EXPECT_EQ(UsageLetter(1), 'p');
  EXPECT_EQ(UsageLetter(0), 'u');
}

TEST_F(PaletteUsageTest, AFailedSaveKeepsTheOldFile) {
  Write("keep.plu", "old");
  // The temporary cannot be made.
  std::filesystem::create_directory("keep.plu.tmp" + std::to_string(::getpid()));
  EXPECT_EQ(SavePaletteUsage("keep.plu"), 1);
  EXPECT_EQ(Read("keep.plu"), "old");
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{84});
  EXPECT_EQ(SavePaletteUsage("no/such/folder/x.plu"), 1);
}

}  // namespace
}  // namespace qv
