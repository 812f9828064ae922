// pixqv-cli project: what a project file brings back (the images in their
// roles, the operations it changes, its profiles and Trends) and what in it
// was not understood, loaded exactly as the program's Open Project loads it.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "anim/anim_state.h"
#include "anim/project.h"
#include "anim/trends.h"
#include "app/program.h"
#include "base/string_table.h"
#include "cli/cli_commands.h"
#include "cli/cli_host.h"
#include "ops/op_state.h"
#include "store/image_record.h"

namespace qv::cli {
namespace {

constexpr const char* kName = "project";

constexpr std::string_view kProjectUsage =
    "usage: pixqv-cli project FILE.QVP [--json]\n"
    "\n"
    "Loads a project file (or an op-settings file) as Open Project does and\n"
    "lists what it restored: its first line, every image line (role, name, and\n"
    "the file's type and size or why it did not load), each operation whose\n"
    "values it changed from the defaults, the profiles it read, the Trends it\n"
    "made (level and frames from 1) and the lines it did not understand.\n"
    "Images named by a project are looked for as named, then by their file name\n"
    "in the project's folder and in the image folder.\n"
    "\n"
    "  --json   one JSON object instead of text\n"
    "\n"
    "exit status: 0 read, 1 the file could not be read (message 71), is not a\n"
    "project (message 42) or an image it names did not load, 2 bad usage\n";

int Usage(const std::string& why) { return Exit(kName, kExitUsage, why); }

std::string Quoted(std::string_view s, bool json) { return json ? JsonString(s) : std::string(s); }

std::string ImageEntry(const ProjectImage& image, const std::string& why, bool json) {
  std::string out;
  if (json) {
    out = "{\"role\": " + JsonString(image.role) + ", \"name\": " + JsonString(image.name);
    if (image.image)
      out += ", \"path\": " + JsonString(image.path) + ", \"type\": " + JsonString(image.image->format) +
             ", \"width\": " + std::to_string(image.image->width) + ", \"height\": " + std::to_string(image.image->height);
    else
      out += ", \"error\": " + JsonString(why);
    return out + "}";
  }
  out = "image " + image.role + " " + image.name;
  if (image.image)
    out += "  " + std::string(image.image->format) + " " + std::to_string(image.image->width) + "x" +
           std::to_string(image.image->height);
  else
    out += "  not loaded: " + why;
  return out;
}

// The operations whose labelled values differ from what they were before.
std::vector<std::string> ChangedOperations(const std::vector<std::int32_t>& before, bool json) {
  std::vector<std::string> out;
  for (const OpEntry& e : Catalogue()) {
    const int n = LabelledSlotCount(e);
    bool changed = false;
    std::string values;
    for (int k = 0; k < n; ++k) {
      const std::int32_t* live = BindingValue(e.slots[k].binding);
      if (!live) continue;
      const std::size_t index = static_cast<std::size_t>(e.slots[k].binding) - 1;
      changed = changed || (index < before.size() && before[index] != *live);
      const std::string label(LoadString(static_cast<int>(e.slots[k].labelId)));
      if (!values.empty()) values += json ? ", " : " ";
      values += json ? JsonString(label) + ": " + std::to_string(*live) : label + "=" + std::to_string(*live);
    }
    if (!changed) continue;
    const std::string name(OpName(e.id));
    out.push_back(json ? "{\"id\": " + std::to_string(e.id) + ", \"name\": " + JsonString(name) + ", \"values\": {" +
                             values + "}}"
                       : "operation " + name + ": " + values);
  }
  return out;
}

std::vector<std::string> TrendEntries(bool json) {
  std::vector<std::string> out;
  for (const Trend* t : Trends()) {
    const std::string op(t->op ? OpName(t->op) : std::string_view("Transparency"));
    const std::string name = TrendVarName(t->variable);
    std::string points;
    for (int i = 0; i < t->count; ++i) {
      if (!points.empty()) points += json ? ", " : " ";
      points += json ? "[" + std::to_string(t->frames[i] + 1) + ", " + std::to_string(t->values[i]) + "]"
                     : std::to_string(t->frames[i] + 1) + ":" + std::to_string(t->values[i]);
    }
    out.push_back(json ? "{\"operation\": " + JsonString(op) + ", \"parameter\": " + JsonString(name) +
                             ", \"level\": " + std::to_string(t->level + 1) + ", \"points\": [" + points + "]}"
                       : "trend " + op + " / " + name + " level " + std::to_string(t->level + 1) + "  " + points);
  }
  return out;
}

std::string JsonList(const std::vector<std::string>& items) {
  std::string out = "[";
  for (std::size_t i = 0; i < items.size(); ++i) out += (i ? ",\n  " : "\n  ") + items[i];
  return out + (items.empty() ? "]" : "\n ]");
}

int RunProject(const std::vector<std::string_view>& args) {
  std::string file;
  bool json = false;
  for (std::string_view a : args) {
    if (a == "--json")
      json = true;
    else if (a.size() > 1 && a.front() == '-')
      return Usage("unknown option '" + std::string(a) + "' (see --help)");
    else if (file.empty())
      file = std::string(a);
    else
      return Usage("one project file at a time (see --help)");
  }
  if (file.empty()) return Usage("wants a project file (see --help)");

  CliHost& host = InstallHost<CliHost>(kName, false);
  if (InitImageTable() != 0) return Exit(kName, kExitFailure, "no memory for the image table");
  InstallTrendHooks();
  const std::vector<std::int32_t> before = Ops().values;

  ProjectLoadReport report;
  std::vector<std::string> why;
  report.imageDone = [&](ProjectImage& image) { why.push_back(image.image ? std::string() : host.Flush(true)); };
  if (LoadProject(file, &report) != 0) return Exit(kName, kExitFailure, host.Flush(true));
  host.Flush(false);

  std::vector<std::string> images, profiles, skipped;
  bool allLoaded = true;
  for (std::size_t i = 0; i < report.images.size(); ++i) {
    images.push_back(ImageEntry(report.images[i], why[i], json));
    allLoaded = allLoaded && report.images[i].image;
  }
  for (int p = 0; p < kProfileCount; ++p)
    if (FindProfile(static_cast<ProfileId>(p))) profiles.push_back(Quoted(InfoOf(static_cast<ProfileId>(p)).keyword, json));
  for (const std::string& line : report.settings.skipped) skipped.push_back(Quoted(line, json));
  const std::vector<std::string> operations = ChangedOperations(before, json);
  const std::vector<std::string> trends = TrendEntries(json);

  std::string out;
  if (json) {
    out = "{\"header\": " + JsonString(report.header) + ",\n \"images\": " + JsonList(images) +
          ",\n \"operations\": " + JsonList(operations) + ",\n \"profiles\": " + JsonList(profiles) +
          ",\n \"trends\": " + JsonList(trends) + ",\n \"skippedCount\": " +
          std::to_string(report.settings.skippedCount) + ",\n \"skipped\": " + JsonList(skipped) + "}\n";
  } else {
    out = "header " + report.header + "\n";
    for (const auto& list : {images, operations, trends}) {
      for (const std::string& line : list) out += line + "\n";
    }
    for (const std::string& p : profiles) out += "profile " + p + "\n";
    for (const std::string& s : skipped) out += "skipped " + s + "\n";
    if (report.settings.skippedCount > static_cast<int>(skipped.size()))
      out += "skipped " + std::to_string(report.settings.skippedCount - static_cast<int>(skipped.size())) +
             " more lines\n";
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  if (!allLoaded) return Exit(kName, kExitFailure, "an image the project names did not load");
  return 0;
}

}  // namespace

Command ProjectCommand() {
  return {"project", "list what a project file restores: images in their roles, settings, Trends", kProjectUsage,
          RunProject};
}

}  // namespace qv::cli
