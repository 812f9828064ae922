// The output colour reduction chosen on the command line (convert, apply):
// what the "Output Color Reduction" window sets in the desktop program, for
// this run only. Depths of 24 and 32 bits are not reduced, so there they
// change nothing.
//
//   --reduce default|gray|choose|render   palette source (ChooseColors 0..3)
//   --colours N                           render palette count, 2..256
//   --dither diffusion|ordered            Ordered 0 or 1
//   --dither-amount P                     0..100 %
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qv::cli {

struct ReduceOptions {
  int source = -1;   // -1: as the program starts
  int colours = -1;
  int ordered = -1;
  int amount = -1;
};

// Takes the reduction options out of args (the rest stays in order); false
// with a one-line reason when one is malformed.
bool TakeReduceOptions(std::vector<std::string_view>& args, ReduceOptions& out, std::string& error);
// Sets the program's reduction settings from the options given.
void ApplyReduceOptions(const ReduceOptions& options);

inline constexpr std::string_view kReduceOptionsHelp =
    "  --reduce P            palette below 24 bits: default, gray, choose (from the\n"
    "                        picture) or render (the render palette); default: default\n"
    "  --colours N           colours chosen or taken from the render palette, 2..256\n"
    "  --dither D            diffusion (default) or ordered\n"
    "  --dither-amount P     error diffusion strength, 0..100 % (default 100)\n";

}  // namespace qv::cli
