// pixqv-cli info and convert: the image-file subsystem from the shell.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "app/program.h"
#include "cli/cli_commands.h"
#include "cli/cli_host.h"
#include "cli/reduce_args.h"
#include "formats/byte_io.h"
#include "formats/image_files.h"
#include "formats/save_choices.h"
#include "store/image_record.h"

namespace qv::cli {

bool ParseInt(std::string_view text, long low, long high, int& out) {
  std::string s(text);
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 10);
  if (s.empty() || *end || v < low || v > high) return false;
  out = static_cast<int>(v);
  return true;
}

int TypeNamed(std::string_view name) {
  std::string probe = "x." + std::string(name);
  return SaveTypeOfPath(probe);
}

int DepthEntryForBits(int type, int bits) {
  const auto offered = OfferedDepths(type);
  auto offers = [&offered](int e) { return std::find(offered.begin(), offered.end(), e) != offered.end(); };
  // 32 bits is the alpha entry; 24 the plain one where the type has it, else
  // its 24/32 entry, which writes 24 bits for an image without alpha.
  if (bits == 32) return offers(kDepthAlpha) ? kDepthAlpha : -1;
  if (bits == 24 && !offers(kDepth24) && offers(kDepthAlpha)) return kDepthAlpha;
  for (int e : offered)
    if (e != kDepthAlpha && DepthBits(e, nullptr) == bits) return e;
  return -1;
}

int RunInfo(const std::vector<std::string_view>& args) {
  if (args.empty()) return Exit("info", kExitUsage, "no file named (see --help)");
  CliHost& host = InstallHost<CliHost>("info", false);
  if (InitImageTable() != 0) return Exit("info", kExitFailure, "no memory for the image table");
  int failures = 0;
  for (auto arg : args) {
    std::string path(arg);
    auto start = ReadFileRange(path, 0, 6);
    ImageRecord* image = LoadImageFile(nullptr, path);
    std::string why = host.Flush(image == nullptr);
    if (!image) {
      std::fprintf(stderr, "pixqv-cli info: %s: %s\n", path.c_str(), why.empty() ? "not read" : why.c_str());
      ++failures;
      continue;
    }
    std::printf("%s\n", path.c_str());
    std::printf("  type:       %d (%s)\n", image->fileType, std::string(FileTypeExtension(image->fileType)).c_str());
    std::printf("  format:     %s\n", image->format);
    std::printf("  size:       %d x %d\n", image->width, image->height);
    if (image->fileType == kFileFlm) {
      // The frame read is the first; the file's header says how many follow.
      const std::vector<std::uint8_t> count = ReadFileRange(path, 12, 4);
      ByteReader header(count);
      std::printf("  frames:     %u\n", header.U32LE());
    }
    if (image->fileType == kFileFlc || image->fileType == kFileAvi) {
      long frames = 0;
      double seconds = 0;
      FlicHeader flic;
      AviSummary avi;
      if (image->fileType == kFileFlc && ParseFlicHeader(ReadFileRange(path, 0, kFlicHeaderBytes), flic)) {
        frames = flic.frames;
        seconds = FlicSecondsPerFrame(flic);
      } else if (image->fileType == kFileAvi && SummariseAvi(path, avi)) {
        frames = avi.frames;
        seconds = avi.secondsPerFrame;
      }
      const double ms = seconds * 1000.0;
      std::printf("  frames:     %ld\n", frames);
      if (ms == static_cast<double>(static_cast<long>(ms))) std::printf("  frame time: %ld ms\n", static_cast<long>(ms));
      else std::printf("  frame time: %.2f ms\n", ms);
    }
    std::printf("  depth:      %u bit\n", image->bitDepth);
    std::printf("  alpha:      %s\n", image->hasAlpha ? "yes" : "no");
    std::printf("  resolution: %d/%d x %d/%d dpi\n", image->dpiXNum, image->dpiXDen, image->dpiYNum, image->dpiYDen);
    std::string author(image->author, strnlen(image->author, sizeof image->author));
    std::printf("  author:     %s\n", author.empty() ? "(none)" : author.c_str());
    std::printf("  annotation: %s\n", image->annotation && image->annotation[0] ? image->annotation : "(none)");
    std::printf("  header:    ");
    for (auto b : start) std::printf(" %02X", b);
    std::printf("\n");
    FreeImage(image);
  }
  return failures ? kExitFailure : 0;
}

int RunConvert(const std::vector<std::string_view>& input) {
  constexpr const char* kName = "convert";
  std::vector<std::string_view> args = input;
  ReduceOptions reduce;
  std::string error;
  if (!TakeReduceOptions(args, reduce, error)) return Exit(kName, kExitUsage, error);
  std::vector<std::string> files;
  SaveChoices& choices = TheProgram().save;
  // Installed first: the --raw-* options tell it how to answer "Raw Image Load".
  CliHost& host = InstallHost<CliHost>(kName, isatty(STDERR_FILENO) != 0);
  int type = -1, bits = 0, compress = choices.compress, quality = choices.jpegQuality;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view a = args[i];
    bool hasValue = i + 1 < args.size();
    if (std::string why; int raw = ParseRawOption(args, i, why)) {
      if (raw < 0) return Exit(kName, kExitUsage, why);
    } else if (a == "--type" && hasValue) {
      type = TypeNamed(args[++i]);
      if (type < 0) return Exit(kName, kExitUsage, "unknown type '" + std::string(args[i]) + "'");
    } else if (a == "--depth" && hasValue) {
      if (!ParseInt(args[++i], 1, 32, bits)) return Exit(kName, kExitUsage, "--depth wants 32, 24, 16, 8, 4 or 1");
    } else if (a == "--compress" && hasValue) {
      if (!ParseInt(args[++i], 0, 1, compress)) return Exit(kName, kExitUsage, "--compress wants 0 or 1");
    } else if (a == "--quality" && hasValue) {
      if (!ParseInt(args[++i], 0, 100, quality)) return Exit(kName, kExitUsage, "--quality wants 0 to 100");
    } else if (a == "--frame" && hasValue) {
      int frame = 0;
      if (!ParseInt(args[++i], 1, 1 << 30, frame)) return Exit(kName, kExitUsage, "--frame wants a frame number from 1");
      host.videoFrame = frame - 1;
    } else if (a == "--chopmem") {
      // Accepted from older scripts: the LZW features are always on here.
    } else if (!a.empty() && a[0] == '-') {
      return Exit(kName, kExitUsage, "unknown option '" + std::string(a) + "' or a value missing (see --help)");
    } else {
      files.emplace_back(a);
    }
  }
  if (files.size() != 2) return Exit(kName, kExitUsage, "wants an input and an output file (see --help)");
  if (type < 0) type = SaveTypeOfPath(files[1]);
  if (type < 0) return Exit(kName, kExitUsage, "cannot tell the output type from '" + files[1] + "'; use --type");
  // Without --depth, the depth the save dialog would offer first: the
  // default SaveDepth is no entry, so the type's fullest, which keeps alpha.
  int entry = bits ? DepthEntryForBits(type, bits) : PreselectedDepth(type, choices.depth);
  if (entry < 0)
    return Exit(kName, kExitUsage, std::to_string(bits) + "-bit is not offered for " + std::string(SaveTypeName(type)));

  ApplyReduceOptions(reduce);
  if (InitImageTable() != 0) return Exit(kName, kExitFailure, "no memory for the image table");
  ImageRecord* image = LoadImageFile(nullptr, files[0]);
  if (!image && host.framesOffered > 0 && host.videoFrame >= host.framesOffered)
    return Exit(kName, kExitFailure,
                "cannot read " + files[0] + ": frame " + std::to_string(host.videoFrame + 1) + " asked of " +
                    std::to_string(host.framesOffered));
  if (!image) return Exit(kName, kExitFailure, "cannot read " + files[0] + ": " + host.Flush(true));
  int result = SaveImageFile(image, files[1], type, entry, compress, quality);
  FreeImage(image);
  std::string why = host.Flush(result != 0);
  if (result != 0) return Exit(kName, kExitFailure, "cannot write " + files[1] + (why.empty() ? "" : ": " + why));
  return 0;
}

}  // namespace qv::cli
