// pixqv-cli film: image files assembled into a film strip, one frame each,
// fitted and centred as the film strip places every picture, and saved as
// a film strip file, a FLIC or an AVI.
#include <array>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "anim/anim_state.h"
#include "anim/avi.h"
#include "anim/flic.h"
#include "anim/film_strip.h"
#include "anim/timeline.h"
#include "app/program.h"
#include "base/messages.h"
#include "cli/cli_commands.h"
#include "cli/cli_host.h"
#include "cli/reduce_args.h"
#include "formats/byte_io.h"
#include "formats/image_files.h"
#include "store/image_record.h"

namespace qv::cli {
namespace {

constexpr const char* kName = "film";
constexpr int kMessageOneFrame = 32;

constexpr std::string_view kFilmUsage =
    "usage: pixqv-cli film OUT.FLM|.FLC|.FLI|.AVI IMAGE... [--size WxH] [--background R,G,B]\n"
    "           [--depth 8|24] [--ms N] [--lock-palette] [reduction options]\n"
    "\n"
    "Makes a film of the images, one frame each in the order given; an image\n"
    "that is a film strip, FLIC or AVI gives all its frames. The film is saved\n"
    "as a film strip file (.FLM), a FLIC (.FLC, .FLI: 8 bits, ending with a ring\n"
    "frame back to the first) or an AVI (.AVI: 24 bits unless --depth 8).\n"
    "Each image is fitted into the frame keeping its shape as shown (its size\n"
    "over its resolutions), centred, sampled by nearest pixel; the margins take\n"
    "the background colour. OUT is replaced when the film is complete.\n"
    "\n"
    "  --size WxH            the frame size, each side 1 to 1024 (default 96x72)\n"
    "  --background R,G,B    the margins' colour, each 0 to 255 (default 0,0,0)\n"
    "  --depth 8|24          AVI frames at 8 bits (one palette) or 24 (default)\n"
    "  --ms N                milliseconds per frame of a FLIC or AVI (default 70)\n"
    "  --lock-palette        8-bit frames keep the first frame's chosen palette\n"
    "\n"
    "%REDUCE%"
    "A film has 2 to 4096 frames. Read a frame back with\n"
    "'pixqv-cli convert OUT.FLM frame.bmp --frame N' (frames from 1).\n"
    "exit status: 0 written, 1 an image unreadable or OUT unwritable (with the\n"
    "program's message), 2 bad usage\n";

bool ParseColour(std::string_view text, std::array<std::uint8_t, 3>& out) {
  for (int i = 0; i < 3; ++i) {
    const auto comma = text.find(',');
    if ((i < 2) != (comma != std::string_view::npos)) return false;
    int v = 0;
    if (!ParseInt(text.substr(0, comma), 0, 255, v)) return false;
    out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v);
    text = i < 2 ? text.substr(comma + 1) : std::string_view{};
  }
  return true;
}

enum class FilmOutput { Strip, Flic, Avi, Unknown };

FilmOutput OutputOf(const std::string& name) {
  std::string ext = std::filesystem::path(name).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".flm") return FilmOutput::Strip;
  if (ext == ".flc" || ext == ".fli") return FilmOutput::Flic;
  if (ext == ".avi") return FilmOutput::Avi;
  return FilmOutput::Unknown;
}

// How many frames an input gives: all frames of an animation file, else 1.
long FramesOf(const std::string& path) {
  const std::vector<std::uint8_t> h = ReadFileRange(path, 0, 16);
  if (h.size() >= 16 && std::memcmp(h.data(), "ZFLM", 4) == 0)
    return static_cast<long>(h[12] | h[13] << 8 | h[14] << 16 | std::uint32_t{h[15]} << 24);
  if (h.size() >= 8 && h[5] == 0xAF && (h[4] == 0x11 || h[4] == 0x12)) return h[6] | h[7] << 8;
  AviSummary avi;
  if (h.size() >= 12 && std::memcmp(h.data(), "RIFF", 4) == 0 && SummariseAvi(path, avi)) return avi.frames;
  return 1;
}

int RunFilm(const std::vector<std::string_view>& input) {
  std::vector<std::string_view> args = input;
  ReduceOptions reduce;
  std::string reduceError;
  if (!TakeReduceOptions(args, reduce, reduceError)) return Exit(kName, kExitUsage, reduceError);
  int depth = 24, millis = 70;
  bool lockPalette = false;
  int width = kFilmDefaultWidth, height = kFilmDefaultHeight;
  std::array<std::uint8_t, 3> background{0, 0, 0};
  std::vector<std::string> files;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--size" && hasValue) {
      if (!ParseSize(args[++i], kFilmMaxSide, width, height))
        return Exit(kName, kExitUsage, "--size wants WxH, each side 1 to " + std::to_string(kFilmMaxSide));
    } else if (a == "--background" && hasValue) {
      if (!ParseColour(args[++i], background)) return Exit(kName, kExitUsage, "--background wants R,G,B, each 0 to 255");
    } else if (a == "--depth" && hasValue) {
      if (!ParseInt(args[++i], 8, 24, depth) || (depth != 8 && depth != 24))
        return Exit(kName, kExitUsage, "--depth wants 8 or 24");
    } else if (a == "--ms" && hasValue) {
      if (!ParseInt(args[++i], 1, 1000000, millis)) return Exit(kName, kExitUsage, "--ms wants 1 to 1000000");
    } else if (a == "--lock-palette") {
      lockPalette = true;
    } else if (!a.empty() && a[0] == '-') {
      return Exit(kName, kExitUsage, "unknown option '" + std::string(a) + "' or a value missing (see --help)");
    } else {
      files.emplace_back(a);
    }
  }
  if (files.empty()) return Exit(kName, kExitUsage, "no output file named (see --help)");
  const std::string out = files.front();
  files.erase(files.begin());
  const FilmOutput kind = OutputOf(out);
  if (kind == FilmOutput::Unknown)
    return Exit(kName, kExitUsage, "cannot tell the film's type from '" + out + "': name it .FLM, .FLC, .FLI or .AVI");
  // Animation inputs give every frame: (file, frame) pairs.
  std::vector<std::pair<std::string, long>> frames;
  for (const std::string& f : files) {
    const long n = FramesOf(f);
    for (long k = 0; k < n && frames.size() <= static_cast<std::size_t>(kFilmMaxFrames); ++k) frames.emplace_back(f, k);
  }
  if (frames.size() < 2) return Exit(kName, kExitUsage, MessageText(kMessageOneFrame) + " (give two images or more)");
  if (frames.size() > static_cast<std::size_t>(kFilmMaxFrames))
    return Exit(kName, kExitUsage, "more than " + std::to_string(kFilmMaxFrames) + " frames; a film holds at most " +
                                       std::to_string(kFilmMaxFrames));

  CliHost& host = InstallHost<CliHost>(kName, isatty(STDERR_FILENO) != 0);
  if (InitImageTable() != 0) return Exit(kName, kExitFailure, "no memory for the image table");
  Prefs().filmWidth = width;
  Prefs().filmHeight = height;
  Film().background = background;
  Prefs().animMillis = millis;
  ApplyReduceOptions(reduce);
  if (lockPalette) TheProgram().reduce.lockAfterFirst = 1;
  if (ChangeFrameCount(static_cast<int>(frames.size())) != 0 || EnsureFilm() != 0)
    return Exit(kName, kExitFailure, "no memory for the film: " + host.Flush(true));
  for (std::size_t i = 0; i < frames.size(); ++i) {
    std::string path = frames[i].first;
    host.videoFrame = frames[i].second;
    ImageRecord* image = LoadImageFile(nullptr, path);
    if (!image) return Exit(kName, kExitFailure, "cannot read " + frames[i].first + ": " + host.Flush(true));
    const int placed = PlaceImage(*image, static_cast<long>(i));
    FreeImage(image);
    if (placed != 0) return Exit(kName, kExitFailure, "cannot place " + frames[i].first + ": " + host.Flush(true));
  }
  const int saved = kind == FilmOutput::Strip ? SaveFilmStrip(out)
                    : kind == FilmOutput::Flic ? SaveFilmAsFlic(out)
                                               : SaveFilmAsAvi(out, depth);
  if (saved != 0) return Exit(kName, kExitFailure, "cannot write " + out + ": " + host.Flush(true));
  host.Flush(false);
  return 0;
}

}  // namespace

std::string FilmUsage() {
  std::string usage(kFilmUsage);
  const std::string mark = "%REDUCE%";
  usage.replace(usage.find(mark), mark.size(), std::string(kReduceOptionsHelp) + "\n");
  return usage;
}

Command FilmCommand() {
  static const std::string usage = FilmUsage();
  return {kName, "assemble image files into a film: .FLM, .FLC/.FLI or .AVI", usage, RunFilm};
}

}  // namespace qv::cli
