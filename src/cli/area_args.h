// Areas described on the command line, shared by the commands that need a
// selection (mask, apply). Scripts rely on this syntax, so it only grows.
//
//   --area SPEC      entire | rect:L,T,R,B | numrect:L,T,R,B | ellipse:CX,CY,RX,RY
//                    | roundrect:L,T,R,B,PERCENT | polygon:X,Y,... (closed)
//                    | freehand:X,Y,... | bezier:X,Y,... | spline:X,Y,...
//                    | polyarc:X,Y,... | wand:X,Y | key | text:X,Y,TEXT
//                    | file:PATH.ASF | ishape:L,T,R,B[,SHAPE.ISH]
//   --combine union|intersection|complement   (with a second --area)
//   --exclude --key-restrict --level N --fade N --grow N
//   --key R,G,B,DR,DG,DB   --font NAME --points N --rotate DEG
//   --splat N,SEED,SHAPE,SIZING,SQUARE,INSIDE   --splat-index I
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qv {
struct ImageRecord;
}

namespace qv::cli {

struct AreaSpec {
  int mode = 0;               // area mode id (0 for an area file)
  std::vector<int> numbers;   // coordinates and sizes, as given
  std::string text;           // text: the words to draw
  std::string path;           // file: the area file; ishape: the shape file, if any
};

struct AreaOptions {
  std::vector<AreaSpec> areas;  // one, or two with a combination
  int combineCode = 0;          // 1 union, 3 intersection, 4 complement
  bool exclude = false;
  bool keyRestrict = false;
  int level = 255;
  int fade = 0;
  int grow = 100;
  bool transparencyGiven = false;  // an area file keeps its own unless given
  bool haveKey = false;
  int key[6] = {0, 0, 0, 20, 20, 20};
  std::string font = "Arial";
  int points = 23;
  double rotate = 0;
  bool splatter = false;
  int splat[6] = {20, 9, 0, 100, 1, 0};
  int splatIndex = 0;
};

// Parses one SPEC; false with a one-line reason.
bool ParseAreaSpec(std::string_view area, AreaSpec& out, std::string& error);

// Takes the area options out of args (leaving the rest in order); false with
// a one-line reason when one is malformed.
bool TakeAreaOptions(std::vector<std::string_view>& args, AreaOptions& out, std::string& error);

// Finishes the selection on the image as a drawing gesture does: the first
// area, then the second combined with it, then transparency. With --splat
// the selection stays as drawn, since the splats are faded one by one and
// clipped to it, and Splatter is switched on with the given settings for the
// apply. 0 on success, 1 after a message.
int FinishCommandLineSelection(ImageRecord* image, const AreaOptions& options);
// The mask an apply would change: the finished selection, or with --splat
// the chosen splat made as the apply makes it. 0 on success, 1 after a message.
int BuildCommandLineMask(ImageRecord* image, const AreaOptions& options);

inline constexpr std::string_view kAreaOptionsHelp =
    "  --area SPEC    entire | rect:L,T,R,B | numrect:L,T,R,B | ellipse:CX,CY,RX,RY\n"
    "                 | roundrect:L,T,R,B,PERCENT | polygon:X,Y,... (closed) | freehand:X,Y,...\n"
    "                 | bezier:X,Y,... | spline:X,Y,... | polyarc:X,Y,... | wand:X,Y | key\n"
    "                 | text:X,Y,TEXT | file:PATH.ASF (an area file, refitted to the\n"
    "                 image) | ishape:L,T,R,B[,SHAPE.ISH] (the I-shape, Triangle unless\n"
    "                 a shape file is named, stretched into the box)\n"
    "  --combine union|intersection|complement   combine with a second --area\n"
    "  --exclude      invert the new shape          --key-restrict  only key colours\n"
    "  --level N      transparency level 0..255     --fade N        edge fade 0..100\n"
    "  --grow N       grow 0..100\n"
    "  --key R,G,B,DR,DG,DB                         key colour and ranges (for key)\n"
    "  --font NAME --points N --rotate DEG          face, size and turn (for text)\n"
    "  --splat N,SEED,SHAPE,SIZING,SQUARE,INSIDE    splatter; --splat-index I picks a splat\n";

}  // namespace qv::cli
