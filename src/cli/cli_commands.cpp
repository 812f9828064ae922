#include "cli/cli_commands.h"

#include <algorithm>
#include <string>

#include "cli/reduce_args.h"

namespace qv::cli {
namespace {

constexpr std::string_view kInfoUsage =
    "usage: pixqv-cli info FILE...\n"
    "\n"
    "Reads each image file and prints its file type, format, size, bit depth,\n"
    "alpha, resolution, author, annotation and first header bytes; for a film\n"
    "strip (.FLM) also its frame count (the rest describes its first frame). A\n"
    "file that cannot be read gets the program's reason on stderr, and the exit\n"
    "status is then 1.\n";

const std::string kConvertUsage = std::string(
    "usage: pixqv-cli convert IN OUT [--type T] [--depth N] [--compress 0|1] [--quality Q]\n"
    "                         [--reduce P] [--colours N] [--dither D] [--dither-amount P]\n"
    "                         [--raw-size WxH] [--raw-start N] [--raw-layout gray|rgb|planes|files]\n"
    "\n"
    "Reads IN (any type the program reads) and writes OUT, replacing it. GIF and\n"
    "LZW-compressed TIFF are always read and written here (--chopmem is accepted\n"
    "and changes nothing).\n"
    "\n"
    "  --type T              bmp, flc, gif, iff, jpg, pcx, tga, tif, trm, avi, fs, png\n"
    "                        (default: from OUT's extension)\n"
    "  --depth N             32, 24, 16, 8, 4 or 1, as the type offers (default: the fullest\n"
    "                        the type offers, so an image's alpha is kept where it can be)\n"
    "  --compress B          1 to compress where the type allows it (Targa: run-length,\n"
    "                        TIFF: LZW, PNG: zlib level 6; 0 stores)\n"
    "  --quality Q           JPEG quality, 0 to 100 (default 75)\n"
    "  --frame N             which frame of a film strip (.FLM), FLIC (.FLC, .FLI) or\n"
    "                        AVI to read, from 1\n"
    "                        (default 1); a frame past the last fails\n") +
    std::string(kReduceOptionsHelp) +
    "\n"
    "A headerless RAW input (a name with .raw or .red) is read as \"Raw Image Load\"\n"
    "would be told; without these its proposal is taken, and said on stderr:\n"
    "  --raw-size WxH        the picture's size (default: proposed from the file size)\n"
    "  --raw-start N         the first byte of the picture (default 0)\n"
    "  --raw-layout L        gray (one byte a pixel), rgb (R,G,B triples), planes (a red,\n"
    "                        a green, then a blue block) or files (NAME.red/.grn/.blu)\n"
    "\n"
    "exit status: 0 written, 1 IN unreadable or OUT unwritable (with the program's\n"
    "message), 2 bad usage\n";

}  // namespace

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      ShowcaseCommand(),
      OpsCommand(),
      MaskCommand(),
      {"info", "type, size, depth and format of image files", kInfoUsage, RunInfo},
      {"convert", "read an image file and write it in another type or depth", kConvertUsage, RunConvert},
      ApplyCommand(),
      RenderCommand(),
      SampleCommand(),
      TimeLineCommand(),
      GenerateFramesCommand(),
      FilmCommand(),
      ProjectCommand(),
      CaptureCommand(),
  };
  return commands;
}

const Command* FindCommand(std::string_view name) {
  for (const auto& c : Commands())
    if (c.name == name) return &c;
  return nullptr;
}

std::string_view SuggestCommand(std::string_view name) {
  auto distance = [](std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
      std::size_t diag = row[0];
      row[0] = i;
      for (std::size_t j = 1; j <= b.size(); ++j) {
        std::size_t up = row[j];
        row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (a[i - 1] != b[j - 1])});
        diag = up;
      }
    }
    return row[b.size()];
  };
  std::string_view best;
  std::size_t bestDistance = 3;  // farther than this is no longer a typo
  for (const auto& c : Commands()) {
    std::size_t d = distance(name, c.name);
    if (d < bestDistance) {
      bestDistance = d;
      best = c.name;
    }
  }
  return best;
}

}  // namespace qv::cli
