// pixqv-cli apply: one operation applied to an image file, the result saved.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "anim/zelvane_link.h"
#include "app/program.h"
#include "base/messages.h"
#include "area/area_mask.h"
#include "base/string_table.h"
#include "base/text_words.h"
#include "cli/area_args.h"
#include "cli/cli_commands.h"
#include "cli/cli_host.h"
#include "cli/reduce_args.h"
#include "formats/image_files.h"
#include "formats/save_choices.h"
#include "extlib/gpl_format.h"
#include "ops/apply.h"
#include "ops/effect_support.h"
#include "ops/lighting_ops.h"
#include "ops/op_catalogue.h"
#include "ops/op_controls.h"
#include "ops/op_state.h"
#include "ops/qvs_file.h"
#include "store/image_record.h"
#include "store/undo.h"

namespace qv::cli {
namespace {

const std::string kApplyUsage = std::string(
    "usage: pixqv-cli apply IN OUT --op NAME|ID [--preset NAME] [--palette FILE.gpl]\n"
    "                       [--set \"Label=value\" ...] [--settings FILE.QVS]\n"
    "                       [--area SPEC [area options]] [--source IMG]\n"
    "                       [--type T] [--depth N] [--compress 0|1] [--quality Q]\n"
    "                       [--reduce P] [--colours N] [--dither D] [--dither-amount P]\n"
    "                       [--point-file P.zpt]\n"
    "       pixqv-cli apply --sheet SHEET.tml --perform|--preview --op NAME|ID [--set ...]\n"
    "                       [--settings F] [--columns A-B] [--frames F-G] [--replace]\n"
    "\n"
    "Reads IN, applies one operation through the apply pipeline (mask, undo\n"
    "copy, progress) and writes the result to OUT. Progress goes to stderr.\n"
    "Exits 1 with the program's message when a file cannot be read or written,\n"
    "or the operation fails, is cancelled or would change nothing; 2 on bad usage.\n"
    "\n"
    "  --op NAME|ID        the operation (\"Contrast\", \"3181\"; see 'pixqv-cli ops')\n"
    "  --preset NAME       a preset of Asterize or Annular (\"Four Star\", \"Halo\",\n"
    "                      ...; case ignored): its profile and parameters, set\n"
    "                      before --settings and --set\n"
    "  --palette FILE.gpl  the mapping palette of the gradient fills and Outline\n"
    "                      (GIMP palette format)\n"
    "  --set Label=value   a parameter of the operation by its label or by the\n"
    "                      row's text in its dialog (\"Depth\" for Relief);\n"
    "                      repeatable, applied after --settings; clamped to the\n"
    "                      dial range\n"
    "                      (values in a Trend's wider range, such as Dome below\n"
    "                      0, come through --settings)\n"
    "  --settings FILE     an op-settings file (.QVS) read first; a project\n"
    "                      (.QVP) gives its settings, its image lines are skipped\n"
    "  --source IMG        the source image of operations that use one (Surface\n"
    "                      Warp's height map, Perspective's picture, Apply\n"
    "                      Canvas' canvas, the image Add Images and Subtract\n"
    "                      combine with IN, the picture Place, Merge and Key In\n"
    "                      lay in, Make Alpha's with \"With Source=1\"); without\n"
    "                      it IN serves as its own source\n"
    "  --point-file P.zpt  the point pairs of Distortion and Transition, which the\n"
    "                      Zelvane companion computes (Transition's end image is\n"
    "                      --source; \"Frame\" and \"Total frames\" through --set)\n"
    "  --type T            bmp, tif, jpg, ... (default: from OUT's extension)\n"
    "  --depth N           bit depth (default 24; 32 for a new image, which carries\n"
    "                      its coverage as alpha: Rotate with \"In Place=0\", Clip,\n"
    "                      Clip Alpha, Enlarge and Reduce with \"Replace=0\")\n"
    "  --compress B        1 to compress where the type allows it\n"
    "  --quality Q         JPEG quality, 0 to 100 (default 75)\n"
    "\n"
    "Below 24 bits the result is reduced to a palette:\n") + std::string(kReduceOptionsHelp) + std::string(
    "\n"
    "Clip, Clip Alpha, and Enlarge and Reduce with \"Replace=0\" leave IN's\n"
    "picture as it was: OUT receives the new image they make. Make Area only\n"
    "changes a TimeLine and is refused here (see 'pixqv-cli timeline').\n"
    "\n"
    "Without --area the whole image is changed. With --splat the operation runs\n"
    "once per splat, as the program's Splatter does.\n"
    "\n"
    "With --sheet the operation is applied to every image file cell of the\n"
    "exposure sheet's columns A-B and frames F-G (from 1; default all), each\n"
    "over the whole image. --perform writes each result back to its own file\n"
    "with its own type (a file named in several cells is changed once; files\n"
    "of types without a writer and video files are skipped with message 103,\n"
    "and the exit status is then 1); it changes files only with --replace.\n"
    "--preview writes nothing. Each file is printed as it is done.\n"
    "\n") + std::string(kAreaOptionsHelp);

// A palette file's text; a palette of 1024 entries with long names stays
// well below the limit.
bool ReadPaletteFile(const std::string& path, std::string& text) {
  constexpr std::size_t kLargest = 1 << 20;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text.resize(kLargest);
  in.read(text.data(), static_cast<std::streamsize>(kLargest));
  text.resize(static_cast<std::size_t>(in.gcount()));
  return !in.bad();
}

constexpr OpId kMakeAreaOp = 3191;
constexpr OpId kDistortionOp = 3199, kTransitionOp = 3198;
constexpr int kMessageNoChange = 65;

int Fail(const std::string& why) { return Exit("apply", kExitFailure, why); }
int Usage(const std::string& why) { return Exit("apply", kExitUsage, why); }

}  // namespace

OpId OpNamed(std::string_view name) {
  int id = 0;
  if (ParseInt(name, 1, 99999, id) && IsCatalogued(static_cast<OpId>(id))) return static_cast<OpId>(id);
  for (const OpEntry& e : Catalogue())
    if (EqualsNoCase(OpName(e.id), name)) return e.id;
  return 0;
}

bool SetParameter(OpId op, std::string_view assignment, std::string& why) {
  auto eq = assignment.find('=');
  if (eq == std::string_view::npos) {
    why = "--set wants Label=value";
    return false;
  }
  std::string_view label = assignment.substr(0, eq);
  int value = 0;
  if (!ParseInt(assignment.substr(eq + 1), -99999999, 99999999, value)) {
    why = "--set " + std::string(label) + ": not a number";
    return false;
  }
  const OpEntry& e = OpOf(op);
  for (int k = 0; k < LabelledSlotCount(e); ++k) {
    const ParamSlot& slot = e.slots[k];
    // A row the dialog names differently answers to that name as well
    // (Clip Alpha's unlabelled switch is "Assign the Result as Source").
    const bool named = !label.empty() && (EqualsNoCase(LoadString(static_cast<int>(slot.labelId)), label) ||
                                          EqualsNoCase(RowLabel(op, k), label));
    if (!named) continue;
    SetParamValue(op, k, std::clamp(value, slot.dialMin, slot.dialMax));
    return true;
  }
  why = std::string(OpName(op)) + " has no parameter \"" + std::string(label) + "\"";
  return false;
}

namespace {

int RunApply(const std::vector<std::string_view>& input) {
  for (std::string_view a : input)
    if (a == "--sheet") return RunApplySheet(input);
  std::vector<std::string_view> args = input;
  AreaOptions areaOptions;
  std::string areaError;
  if (!TakeAreaOptions(args, areaOptions, areaError)) return Usage(areaError);
  ReduceOptions reduce;
  if (!TakeReduceOptions(args, reduce, areaError)) return Usage(areaError);
  std::vector<std::string> files;
  std::vector<std::string_view> sets;
  std::string settings, source, opName, preset, palette, pointFile;
  bool hasPreset = false, hasPointFile = false;
  int type = -1, bits = 0, compress = 1, quality = 75;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view a = args[i];
    bool hasValue = i + 1 < args.size();
    if (a == "--op" && hasValue) {
      opName = args[++i];
    } else if (a == "--preset" && hasValue) {
      preset = args[++i];
      hasPreset = true;
    } else if (a == "--palette" && hasValue) {
      palette = args[++i];
    } else if (a == "--set" && hasValue) {
      sets.push_back(args[++i]);
    } else if (a == "--settings" && hasValue) {
      settings = args[++i];
    } else if (a == "--source" && hasValue) {
      source = args[++i];
    } else if (a == "--point-file" && hasValue) {
      pointFile = args[++i];
      hasPointFile = true;
    } else if (a == "--type" && hasValue) {
      type = TypeNamed(args[++i]);
      if (type < 0) return Usage("unknown type '" + std::string(args[i]) + "'");
    } else if (a == "--depth" && hasValue) {
      if (!ParseInt(args[++i], 1, 32, bits)) return Usage("--depth wants 32, 24, 16, 8, 4 or 1");
    } else if (a == "--compress" && hasValue) {
      if (!ParseInt(args[++i], 0, 1, compress)) return Usage("--compress wants 0 or 1");
    } else if (a == "--quality" && hasValue) {
      if (!ParseInt(args[++i], 0, 100, quality)) return Usage("--quality wants 0 to 100");
    } else if (!a.empty() && a[0] == '-') {
      return Usage("unknown option '" + std::string(a) + "' (see --help)");
    } else {
      files.emplace_back(a);
    }
  }
  if (files.size() != 2) return Usage("wants an input and an output file (see --help)");
  if (opName.empty()) return Usage("--op is required (see 'pixqv-cli ops')");
  const OpId op = OpNamed(opName);
  if (op == 0) return Usage("no operation named '" + opName + "' (see 'pixqv-cli ops')");
  // Its only effect is on a TimeLine, which this command neither reads nor writes.
  if (op == kMakeAreaOp) return Usage("Make Area changes a TimeLine, not an image; nothing to write to " + files[1]);
  const bool linked = op == kDistortionOp || op == kTransitionOp;
  if (hasPointFile && !linked) return Usage("--point-file belongs to Distortion and Transition only");
  // The companion runs in a folder of its own: it is told where the file is.
  if (hasPointFile && !pointFile.empty()) pointFile = std::filesystem::absolute(pointFile).lexically_normal().string();
  if (std::string why; hasPointFile && !PointFileNameFits(pointFile, why)) return Usage(why);
  if (hasPreset) {
    const auto names = PresetNames(op);
    bool known = false;
    for (auto n : names) known = known || EqualsNoCase(n, preset);
    if (!known) {
      std::string list;
      for (auto n : names) list += (list.empty() ? "" : ", ") + std::string("\"") + std::string(n) + "\"";
      return Usage(names.empty() ? std::string(OpName(op)) + " has no presets"
                                 : "no preset named '" + preset + "' (" + std::string(OpName(op)) + ": " + list + ")");
    }
  }
  if (type < 0) type = SaveTypeOfPath(files[1]);
  if (type < 0) return Usage("cannot tell the output type from '" + files[1] + "'; use --type");
  // Without --depth a picture is written at 24 bits, and a new image that
  // carries its coverage as alpha (Rotate without "In Place") at 32 where
  // the type offers it.
  const bool depthGiven = bits != 0;
  const int entry = DepthEntryForBits(type, depthGiven ? bits : 24);
  if (entry < 0) return Usage(std::to_string(bits) + "-bit is not offered for " + std::string(SaveTypeName(type)));

  CliHost& host = InstallHost<CliHost>("apply", true);
  ApplyReduceOptions(reduce);
  if (InitImageTable() != 0) return Fail("no memory for the image table");
  if (!palette.empty()) {
    std::string text;
    PaletteRecord record{};
    if (!ReadPaletteFile(palette, text)) return Fail("cannot read " + palette);
    if (!qvpal::ParseGpl(text, record)) return Fail(palette + " is not a GIMP palette");
    MutableMappingPalette() = record;
  }
  if (hasPreset && ApplyPreset(op, preset) != 0) return Fail(host.Flush(true));
  if (!settings.empty() && LoadOpSettingsFile(settings) != 0) return Fail(host.Flush(true));
  // Nobody can undo a one-shot apply: only the operations that read their
  // copy while they work take one.
  SetUndoLevels(TheProgram().undo.levels, 0);
  TheProgram().ops.current = op;
  if (linked) {
    // Without pairs there is nothing to warp along.
    if (pointFile.empty()) return Fail(MessageText(kMessageNoChange));
    (op == kDistortionOp ? TheProgram().ops.distortionPointFile : TheProgram().ops.transitionPointFile) = pointFile;
  }
  for (auto s : sets) {
    std::string why;
    if (!SetParameter(op, s, why)) return Usage(why);
  }

  ImageRecord* image = LoadImageFile(nullptr, files[0]);
  if (!image || AddImage(image, false) != 0) return Fail("cannot read " + files[0] + ": " + host.Flush(true));
  TheProgram().images.currentAction = image;
  if (!source.empty()) {
    ImageRecord* second = LoadImageFile(nullptr, source);
    if (!second || AddImage(second, false) != 0) return Fail("cannot read " + source + ": " + host.Flush(true));
    Pipeline().source = second;
    TheProgram().images.currentAction = image;
  }

  if (FinishCommandLineSelection(image, areaOptions) != 0)
    return Fail("the area could not be built: " + host.Flush(true));
  // The mask is made as drawn: the operation applies to it as chosen.
  SetWorkMethod(kDrawFirst);
  host.Flush(false);
  int result = Apply(static_cast<int>(op), 0);
  if (result != 0) {
    std::string why = host.Flush(true);
    if (!why.empty()) return Fail(why);
    return Fail(result == 2 ? "cancelled" : "stopped or failed");
  }
  // An operation that made a new image leaves IN's picture as it was: OUT
  // receives the new one.
  ImageRecord* written = Ctx().result ? Ctx().result : image;
  int resultEntry = entry;
  if (written != image && !depthGiven && DepthEntryForBits(type, 32) >= 0) resultEntry = DepthEntryForBits(type, 32);
  const int saved = SaveImageFile(written, files[1], type, resultEntry, compress, quality);
  std::string why = host.Flush(saved != 0);
  if (saved != 0) return Fail("cannot write " + files[1] + (why.empty() ? "" : ": " + why));
  return 0;
}

}  // namespace

Command ApplyCommand() {
  return {"apply", "apply one operation to an image file and save the result", kApplyUsage, RunApply};
}

}  // namespace qv::cli
