#include "cli/reduce_args.h"

#include <array>

#include "app/program.h"
#include "cli/cli_commands.h"
#include "display/colour_reduce.h"

namespace qv::cli {
namespace {

constexpr std::array<std::string_view, 4> kSources = {"default", "gray", "choose", "render"};

}  // namespace

bool TakeReduceOptions(std::vector<std::string_view>& args, ReduceOptions& out, std::string& error) {
  std::vector<std::string_view> rest;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view a = args[i];
    const bool ours = a == "--reduce" || a == "--colours" || a == "--dither" || a == "--dither-amount";
    if (!ours) {
      rest.push_back(a);
      continue;
    }
    if (i + 1 >= args.size()) {
      error = std::string(a) + " wants a value (see --help)";
      return false;
    }
    std::string_view v = args[++i];
    if (a == "--reduce") {
      out.source = -1;
      for (std::size_t k = 0; k < kSources.size(); ++k)
        if (v == kSources[k]) out.source = static_cast<int>(k);
      if (out.source < 0) {
        error = "--reduce wants default, gray, choose or render";
        return false;
      }
    } else if (a == "--colours") {
      if (!ParseInt(v, 2, 256, out.colours)) {
        error = "--colours wants 2 to 256";
        return false;
      }
    } else if (a == "--dither") {
      if (v != "diffusion" && v != "ordered") {
        error = "--dither wants diffusion or ordered";
        return false;
      }
      out.ordered = v == "ordered" ? 1 : 0;
    } else if (!ParseInt(v, 0, 100, out.amount)) {
      error = "--dither-amount wants 0 to 100";
      return false;
    }
  }
  args = std::move(rest);
  return true;
}

void ApplyReduceOptions(const ReduceOptions& options) {
  ColourReduceState& reduce = TheProgram().reduce;
  if (options.source >= 0) reduce.chooseColors = options.source;
  if (options.ordered >= 0) reduce.ordered = options.ordered;
  if (options.amount >= 0) reduce.ditherAmount = options.amount;
  if (options.colours >= 0) SetNumberOfColours(options.colours);
}

}  // namespace qv::cli
