// pixqv-cli generate: the frames of a TimeLine, all or a range, written as
// numbered image files (and into a film strip). Each frame depends only on
// the TimeLine, the files it names, the options and its number, so a
// sequence split over many processes or machines gives the same bytes.
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "anim/anim_state.h"
#include "anim/exposure_sheet.h"
#include "anim/sequence.h"
#include "anim/timeline_file.h"
#include "app/program.h"
#include "cli/cli_commands.h"
#include "cli/cli_host.h"
#include "cli/generate_film.h"
#include "cli/reduce_args.h"
#include "formats/image_files.h"
#include "formats/save_choices.h"
#include "store/image_record.h"
#include "store/undo.h"

namespace qv::cli {
namespace {

constexpr std::string_view kGenerateUsage =
    "usage: pixqv-cli generate TIMELINE.tml [--frames A[-B] | --chunk K/N] [--image IMG]\n"
    "           [--out DIR/NAME.EXT [--counter C] [--exact]] [--film FILE.FLM [--film-size WxH]]\n"
    "           [--type T] [--depth N] [--compress 0|1] [--quality Q] [--replace] [--accumulate] [--json]\n"
    "           [--ms N] [--lock-palette] [reduction options]\n"
    "       pixqv-cli generate SHEET.tml --sheet [the options above] [--list [--json]]\n"
    "\n"
    "Generates the frames of a TimeLine: for each frame, every level in turn\n"
    "(source, action image, area, operation with its Trends), then the frame is\n"
    "written. A frame's bytes depend only on the TimeLine, the files it names,\n"
    "these options and the frame number, so frames made by many processes (a\n"
    "Slurm job array, GNU parallel) equal those of one run.\n"
    "\n"
    "  --frames A[-B]    frames A to B (from 1; default every frame)\n"
    "  --chunk K/N       the K-th of N near-equal ranges of the frames\n"
    "  --image IMG       the image operations act on where no Action cell names one\n"
    "  --out DIR/NAME.EXT  numbered outputs: DIR/NAME0001.EXT for frame 1 with\n"
    "                    counter 1 (the number is counter + frame - 1)\n"
    "  --counter C       the number frame 1 gets (default 1)\n"
    "  --exact           one frame, written under exactly the --out name\n"
    "  --film FILE.FLM   every generated frame placed into a film strip, saved at\n"
    "                    the end\n"
    "  --film-size WxH   the film's frame size (default 96x72)\n"
    "  --type T          bmp, flc, gif, iff, jpg, pcx, tga, tif, trm, avi (default:\n"
    "                    from the extension: 24 bits for BMP, IFF, TIF, TRM, AVI;\n"
    "                    8 for FLC, GIF and PCX; lossy for JPG; 24/32 with alpha\n"
    "                    for TGA). FLC and AVI write every frame into the one file\n"
    "                    named by --out (a FLIC ends with a ring frame back to\n"
    "                    frame 1 when the TimeLine's last frame is generated)\n"
    "  --depth N         bit depth (32, 24, 16, 8, 4, 1 as the type offers)\n"
    "  --compress B      1 to compress where the type allows it (default 1)\n"
    "  --quality Q       JPEG quality, 0 to 100 (default 75)\n"
    "  --replace         replace existing outputs (else they are refused, message 91)\n"
    "  --accumulate      each frame builds on the previous one; a range is then\n"
    "                    reached by generating the frames before it unwritten\n"
    "  --json            one line per frame written: {\"frame\", \"file\", \"ms\"}\n"
    "  --ms N            milliseconds per frame of FLC and AVI files (default 70)\n"
    "  --lock-palette    8-bit animation frames keep the first frame's palette\n"
    "  --sheet           the file is an exposure sheet: each frame is composed\n"
    "                    from column 1 (the background) across, actors merged\n"
    "                    onto it or transformed by the operation columns after\n"
    "                    them\n"
    "  --list            with --sheet: print the sheet's cells and write nothing\n"
    "                    (\"F:frame A:column kind value\"; one JSON object a line\n"
    "                    with --json)\n"
    "\n"
    "An output name holding \"*\" is refused. Ctrl-C stops after the frame being\n"
    "made; the frames written stay.\n"
    "exit status: 0 every frame written, 1 failed or stopped (the program's message;\n"
    "frames written before stay), 2 bad usage\n";

volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) {
  if (g_interrupted) {
    std::signal(SIGINT, SIG_DFL);
    std::raise(SIGINT);
  }
  g_interrupted = 1;
}

int Fail(const std::string& why) { return Exit("generate", kExitFailure, why); }
int Usage(const std::string& why) { return Exit("generate", kExitUsage, why); }

// "A" or "A-B".
bool ParseFrames(std::string_view text, int& a, int& b) {
  const auto dash = text.find('-');
  if (dash == std::string_view::npos) {
    if (!ParseInt(text, 1, kMaxFrames, a)) return false;
    b = a;
    return true;
  }
  return ParseInt(text.substr(0, dash), 1, kMaxFrames, a) && ParseInt(text.substr(dash + 1), 1, kMaxFrames, b) &&
         a <= b;
}

bool ParseChunk(std::string_view text, int& k, int& n) {
  const auto slash = text.find('/');
  if (slash == std::string_view::npos) return false;
  return ParseInt(text.substr(slash + 1), 1, kMaxFrames, n) && ParseInt(text.substr(0, slash), 1, n, k);
}

std::string JsonLine(int frame, const std::string& file, long ms) {
  return "{\"frame\": " + std::to_string(frame) + ", \"file\": " + JsonString(file) + ", \"ms\": " + std::to_string(ms) +
         "}\n";
}

int RunGenerate(const std::vector<std::string_view>& input) {
  std::vector<std::string_view> args = input;
  ReduceOptions reduce;
  std::string reduceError;
  if (!TakeReduceOptions(args, reduce, reduceError)) return Usage(reduceError);
  int millis = 70;
  bool lockPalette = false;
  std::string timeline, image, out, film, filmSize;
  std::string_view framesText, chunkText;
  int counter = 1, type = -1, bits = 0, compress = 1, quality = 75;
  bool exact = false, replace = false, accumulate = false, json = false, sheet = false, list = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view a = args[i];
    const bool hasValue = i + 1 < args.size();
    auto value = [&]() { return args[++i]; };
    if (a == "--frames" && hasValue) {
      framesText = value();
    } else if (a == "--chunk" && hasValue) {
      chunkText = value();
    } else if (a == "--image" && hasValue) {
      image = value();
    } else if (a == "--out" && hasValue) {
      out = value();
    } else if (a == "--counter" && hasValue) {
      if (!ParseInt(value(), 0, 99999999, counter)) return Usage("--counter wants a number from 0");
    } else if (a == "--exact") {
      exact = true;
    } else if (a == "--film" && hasValue) {
      film = value();
    } else if (a == "--film-size" && hasValue) {
      filmSize = value();
    } else if (a == "--type" && hasValue) {
      type = TypeNamed(value());
      if (type < 0) return Usage("unknown type '" + std::string(args[i]) + "'");
    } else if (a == "--depth" && hasValue) {
      if (!ParseInt(value(), 1, 32, bits)) return Usage("--depth wants 32, 24, 16, 8, 4 or 1");
    } else if (a == "--compress" && hasValue) {
      if (!ParseInt(value(), 0, 1, compress)) return Usage("--compress wants 0 or 1");
    } else if (a == "--quality" && hasValue) {
      if (!ParseInt(value(), 0, 100, quality)) return Usage("--quality wants 0 to 100");
    } else if (a == "--replace") {
      replace = true;
    } else if (a == "--accumulate") {
      accumulate = true;
    } else if (a == "--json") {
      json = true;
    } else if (a == "--ms" && hasValue) {
      if (!ParseInt(value(), 1, 1000000, millis)) return Usage("--ms wants milliseconds per frame, 1 to 1000000");
    } else if (a == "--lock-palette") {
      lockPalette = true;
    } else if (a == "--sheet") {
      sheet = true;
    } else if (a == "--list") {
      list = true;
    } else if (a.size() > 1 && a.front() == '-') {
      constexpr std::string_view kWithValue[] = {"--frames", "--chunk", "--image", "--out", "--counter", "--film",
                                                 "--film-size", "--type", "--depth", "--compress", "--quality", "--ms"};
      for (std::string_view known : kWithValue)
        if (a == known) return Usage(std::string(a) + " needs a value (see --help)");
      return Usage("unknown option '" + std::string(a) + "' (see --help)");
    } else if (timeline.empty()) {
      timeline = a;
    } else {
      return Usage("one TimeLine file at a time (see --help)");
    }
  }
  if (timeline.empty()) return Usage("wants a TimeLine file (see --help)");
  if (!framesText.empty() && !chunkText.empty()) return Usage("--frames and --chunk exclude each other");
  int firstAsked = 1, lastAsked = kMaxFrames, chunk = 0, chunks = 0;
  if (!framesText.empty() && !ParseFrames(framesText, firstAsked, lastAsked))
    return Usage("--frames wants A or A-B with 1 <= A <= B");
  if (!chunkText.empty() && !ParseChunk(chunkText, chunk, chunks)) return Usage("--chunk wants K/N with 1 <= K <= N");
  if (list && !sheet) return Usage("--list goes with --sheet");
  if (out.empty() && film.empty() && !list) return Usage("nothing to write: give --out or --film");
  if (out.empty() && (exact || counter != 1)) return Usage("--exact and --counter go with --out");
  if (film.empty() && !filmSize.empty()) return Usage("--film-size goes with --film");
  if (out.find('*') != std::string::npos)
    return Usage("an output name cannot hold '*' (frames are numbered: give DIR/NAME.EXT)");

  GenerateRequest request;
  if (!out.empty()) {
    SplitOutputPath(out, request.outPath, request.extension);
    if (exact) request.outPath = out;
    const auto chosen = ExtensionChoice(request.extension);
    if (type < 0) type = chosen ? chosen->type : (exact && request.extension.empty() ? kSaveBitmap : -1);
    if (type < 0) return Usage("cannot tell the output type from '" + out + "'; use --type");
    // One file takes every frame: processes sharing the frames would write
    // into each other's file.
    if ((type == kSaveFlick || type == kSaveAvi) && chunks > 0)
      return Usage(std::string(SaveTypeName(type)) + " files take every frame in one run: --chunk is for numbered files");
    int entry = bits ? DepthEntryForBits(type, bits) : -1;
    if (bits && entry < 0)
      return Usage(std::to_string(bits) + "-bit is not offered for " + std::string(SaveTypeName(type)));
    if (!bits) entry = chosen && chosen->type == type ? chosen->depthEntry : DepthEntryForBits(type, 24);
    if (entry < 0) entry = OfferedDepths(type).front();
    request.save = true;
    request.type = type;
    request.depthEntry = entry;
    request.compress = compress;
    request.quality = quality;
    request.counter = counter;
    request.exact = exact;
  }
  int filmWidth = 96, filmHeight = 72;
  if (!filmSize.empty() && !ParseSize(filmSize, 1024, filmWidth, filmHeight))
    return Usage("--film-size wants WxH, each side from 1 to 1024");

  CliHost& host = InstallHost<CliHost>("generate", false);
  Prefs().animMillis = millis;
  ApplyReduceOptions(reduce);
  if (lockPalette) TheProgram().reduce.lockAfterFirst = 1;
  if (InitImageTable() != 0) return Fail("no memory for the image table");
  // Generation keeps its own copies of what it changes: nothing to undo.
  SetUndoLevels(TheProgram().undo.levels, 0);
  TimeLineLoadReport report;
  if ((sheet ? LoadSheet(timeline, false, &report) : LoadTimeLine(timeline, &report)) != 0) return Fail(host.Flush(true));
  for (const std::string& w : report.warnings) std::fprintf(stderr, "pixqv-cli generate: warning: %s\n", w.c_str());
  if (list) return ListSheet(json);
  const int frames = FrameCount();
  if (chunks > 0) {
    // Chunk k of n: frames (k-1)F/n + 1 to kF/n; some are empty when n > F.
    firstAsked = static_cast<int>(static_cast<long long>(chunk - 1) * frames / chunks) + 1;
    lastAsked = static_cast<int>(static_cast<long long>(chunk) * frames / chunks);
    if (firstAsked > lastAsked) return 0;
  } else if (framesText.empty()) {
    lastAsked = frames;
  }
  if (firstAsked > frames)
    return Fail("frame " + std::to_string(firstAsked) + " is past the last frame, " + std::to_string(frames));
  lastAsked = std::min(lastAsked, frames);
  if (exact && firstAsked != lastAsked) return Usage("--exact writes one frame: give --frames N");
  request.begin = firstAsked;
  request.finish = lastAsked;
  request.replace = replace;
  request.accumulate = accumulate;
  request.replayFromStart = true;

  if (!image.empty()) {
    std::string path = image;
    ImageRecord* loaded = LoadImageFile(nullptr, path);
    if (!loaded || AddImage(loaded, false) != 0) return Fail("cannot read " + image + ": " + host.Flush(true));
    request.image = loaded;
  }
  if (!film.empty()) {
    std::string why;
    if (AttachFilm(filmWidth, filmHeight, why) != 0) return Fail(why);
    request.film = true;
  }
  int lastDone = 0;
  request.frameDone = [json, &lastDone](int frame, const std::string& file, long ms) {
    lastDone = frame;
    if (!json) return;
    const std::string line = JsonLine(frame, file, ms);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
  };
  g_interrupted = 0;
  std::signal(SIGINT, OnInterrupt);
  request.stopAfterFrame = [] { return g_interrupted != 0; };

  const int result = sheet ? RunSheet(request) : Generate(request);
  std::signal(SIGINT, SIG_DFL);
  if (result == 0) {
    if (!film.empty()) {
      std::string why;
      if (SaveAttachedFilm(film, why) != 0) {
        const std::string message = host.Flush(true);
        return Fail(message.empty() ? why : why + ": " + message);
      }
    }
    host.Flush(false);
    return 0;
  }
  if (g_interrupted)
    return Fail("stopped after frame " + std::to_string(lastDone) + " (Ctrl-C); the frames written stay");
  std::string why = host.Flush(true);
  if (why.empty()) why = result == 2 ? "cancelled" : "stopped";
  return Fail(why);
}

}  // namespace

Command GenerateFramesCommand() {
  return {"generate", "generate the frames of a TimeLine (all, a range or a farm chunk)", kGenerateUsage, RunGenerate};
}

}  // namespace qv::cli
