// pixqv-cli ops: the operation catalogue for users (a table) and scripts
// (--json, one array in catalogue order).
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "base/string_table.h"
#include "base/text_words.h"
#include "cli/cli_commands.h"
#include "ops/lighting_ops.h"
#include "ops/op_catalogue.h"

namespace qv::cli {
namespace {

constexpr std::string_view kOpsUsage =
    "usage: pixqv-cli ops [--group G] [--json]\n"
    "\n"
    "Lists the operation catalogue in menu order: id, name, group, settings\n"
    "dialog, driver kind, flags and every parameter with its default, dial\n"
    "range, trend range and wrap period. Operations whose effect is not built\n"
    "yet are marked \"not yet available\".\n"
    "\n"
    "  --group G   only the group G (\"Lighting\", \"Lighting Group\" or 3110)\n"
    "  --json      one JSON array of objects with the keys id, name, group,\n"
    "              dialog, kind, needsSource, noAlphaMask, available, params\n"
    "              (slot, label, labelId, kind, default, min, max, trendMin,\n"
    "              trendMax, wrap)\n";


std::string GroupName(std::uint32_t group) { return std::string(LoadString(static_cast<int>(group))); }

bool GroupMatches(std::uint32_t group, std::string_view wanted) {
  std::string name = GroupName(group);
  if (EqualsNoCase(name, wanted) || std::to_string(group) == wanted) return true;
  constexpr std::string_view kSuffix = " Group";
  return name.size() > kSuffix.size() && EqualsNoCase(std::string_view(name).substr(0, name.size() - kSuffix.size()), wanted);
}


void PrintJson(const std::vector<const OpEntry*>& ops) {
  std::string out = "[";
  for (std::size_t i = 0; i < ops.size(); ++i) {
    const OpEntry& e = *ops[i];
    out += i ? ",\n " : "\n ";
    out += "{\"id\": " + std::to_string(e.id) + ", \"name\": " + JsonString(OpName(e.id)) +
           ", \"group\": " + JsonString(GroupName(e.group)) + ", \"dialog\": " + JsonString(e.dialog) +
           ", \"kind\": " + JsonString(ApplyKindName(e.kind)) + ", \"needsSource\": " + (e.needsSource ? "true" : "false") +
           ", \"noAlphaMask\": " + ((e.noAlphaMaskA || e.noAlphaMaskB) ? "true" : "false") +
           ", \"available\": " + (HasWorker(e) ? "true" : "false") + ", \"params\": [";
    for (int k = 0; k < LabelledSlotCount(e); ++k) {
      const ParamSlot& s = e.slots[k];
      out += k ? ", " : "";
      out += "{\"slot\": " + std::to_string(k) + ", \"label\": " + JsonString(LoadString(static_cast<int>(s.labelId))) +
             ", \"labelId\": " + std::to_string(s.labelId) + ", \"kind\": " + std::to_string(s.kind) +
             ", \"default\": " + std::to_string(s.defaultValue) + ", \"min\": " + std::to_string(s.dialMin) +
             ", \"max\": " + std::to_string(s.dialMax) + ", \"trendMin\": " + std::to_string(s.trendMin) +
             ", \"trendMax\": " + std::to_string(s.trendMax) + ", \"wrap\": " + std::to_string(s.wrap) + "}";
    }
    out += "], \"presets\": [";
    const auto presets = PresetNames(e.id);
    for (std::size_t k = 0; k < presets.size(); ++k) out += (k ? ", " : "") + JsonString(presets[k]);
    out += "]}";
  }
  out += ops.empty() ? "]\n" : "\n]\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
}

void PrintTable(const std::vector<const OpEntry*>& ops) {
  int unavailable = 0;
  for (const OpEntry* e : ops) unavailable += HasWorker(*e) ? 0 : 1;
  std::printf("%zu operation%s (%d marked \"not yet available\")\n", ops.size(), ops.size() == 1 ? "" : "s",
              unavailable);
  std::uint32_t group = 0;
  for (const OpEntry* e : ops) {
    if (e->group != group) {
      group = e->group;
      std::printf("\n%s (%u)\n", GroupName(group).c_str(), group);
    }
    std::string flags;
    if (e->needsSource) flags += " source";
    if (e->noAlphaMaskA || e->noAlphaMaskB) flags += " no-alpha-mask";
    std::string name(OpName(e->id));
    std::string kind(ApplyKindName(e->kind));
    std::string dialog(e->dialog);
    std::printf("  %u  %-14s %-10s %-10s%s%s\n", e->id, name.c_str(), kind.c_str(), dialog.c_str(), flags.c_str(),
                HasWorker(*e) ? "" : "  [not yet available]");
    for (int k = 0; k < LabelledSlotCount(*e); ++k) {
      const ParamSlot& s = e->slots[k];
      std::string label(LoadString(static_cast<int>(s.labelId)));
      if (label.empty()) label = "(no label)";
      if (s.kind == kParamColour) {
        std::printf("        %-18s 0x%06X  packed colour (red low byte)\n", label.c_str(),
                    static_cast<unsigned>(s.defaultValue));
        continue;
      }
      std::printf("        %-18s %6d  [%d..%d]", label.c_str(), s.defaultValue, s.dialMin, s.dialMax);
      if (s.trendMin != s.dialMin || s.trendMax != s.dialMax) std::printf(" trend %d..%d", s.trendMin, s.trendMax);
      if (s.wrap) std::printf(" wraps %d", s.wrap);
      std::printf("\n");
    }
  }
}

int RunOps(const std::vector<std::string_view>& args) {
  bool json = false;
  std::string_view group;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--json") {
      json = true;
    } else if (args[i] == "--group" && i + 1 < args.size()) {
      group = args[++i];
    } else {
      std::string bad(args[i]);
      std::fprintf(stderr, "pixqv-cli ops: unknown argument '%s' (see --help)\n", bad.c_str());
      return 2;
    }
  }
  std::vector<const OpEntry*> ops;
  for (const OpEntry& e : Catalogue())
    if (group.empty() || GroupMatches(e.group, group)) ops.push_back(&e);
  if (ops.empty()) {
    std::string g(group);
    std::fprintf(stderr, "pixqv-cli ops: no group '%s'; groups:", g.c_str());
    std::uint32_t last = 0;
    for (const OpEntry& e : Catalogue())
      if (e.group != last) {
        last = e.group;
        std::fprintf(stderr, " \"%s\"", GroupName(last).c_str());
      }
    std::fprintf(stderr, "\n");
    return 2;
  }
  if (json) {
    PrintJson(ops);
  } else {
    PrintTable(ops);
  }
  return 0;
}

}  // namespace

std::string JsonString(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

Command OpsCommand() {
  return {"ops", "list the operations with their parameters, defaults and ranges", kOpsUsage, RunOps};
}

}  // namespace qv::cli
