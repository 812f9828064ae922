// Sequence generation: the TimeLine turned into frames. For each frame of
// the chosen range every level runs in turn (source, action image, area,
// operation with its Trends) through the apply pipeline, and the finished
// image goes to numbered files and the film strip.
//
// A frame's pixels depend only on the TimeLine, the files it names, the
// choices and the frame number: every frame starts from the same images
// (generation's own copies when changes do not accumulate), an empty level
// result table, no area selection and the random generator at its first
// state. That is what lets a render farm split a sequence over machines.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/preferences.h"

namespace qv {

struct ImageRecord;

// The save types in the order the "Save File as Type" list has them.
inline constexpr int kSeqTypeFlc = 1;
inline constexpr int kSeqTypeAvi = 9;
inline constexpr int kSeqTypeFs = 10;

// Settings of the sequence kept between runs that the settings file does
// not hold (the rest are the preferences' Out*, Seq*, SaveResult, ...).
struct SequenceSettings {
  long counter = 1;      // the number frame 1 of the output gets
  bool longNames = true; // false: base names are cut to 4 characters
};

// One run's choices. The desktop program fills them from the settings; the
// command line and the "/e:" word from their arguments.
struct GenerateRequest {
  int begin = 1;                 // first frame generated, from 1
  int finish = 1;                // last frame generated, from 1
  bool save = false;             // write each frame
  std::string outPath;           // directory and base name ("out/wave")
  std::string extension;         // "bmp" or ".bmp"
  long counter = 1;
  bool exact = false;            // outPath is the whole name of the one frame
  int type = 0;                  // save type (0 BMP ... 10 FS)
  int depthEntry = 2;            // depth entry of the save choices
  int compress = 1;
  int quality = 75;
  bool accumulate = false;       // frames build on the previous result
  bool replace = false;          // existing outputs are replaced unasked
  bool film = false;             // each frame goes into the film strip (made
                                 // for the TimeLine's frames when absent)
  bool hideOpControls = false;
  // With accumulate on, frames before `begin` are generated unwritten first,
  // so that a range matches the same frames of a whole run.
  bool replayFromStart = false;
  // The image operations act on where no Action cell names one (null: the
  // current action image).
  ImageRecord* image = nullptr;
  // Told after each frame written (frame from 1, file or empty, milliseconds).
  std::function<void(int frame, const std::string& file, long ms)> frameDone;
  // Asked after each frame: true ends the run there (Ctrl-C on the command
  // line stops between frames, never inside one).
  std::function<bool()> stopAfterFrame;
};

struct SequenceState {
  SequenceSettings settings;
  bool running = false;
  // Generation's own copies of the images it changes, as they were when the
  // run first touched them, and the level results of the current frame.
  struct Kept {
    ImageRecord* image = nullptr;    // the image in the table
    ImageRecord* original = nullptr; // its copy, outside the table
    std::uint16_t startChanged = 0;  // its unsaved mark at that moment
  };
  std::vector<Kept> kept;
  std::vector<ImageRecord*> levelResults;  // one per level, null when none
  // Images generation loaded, by the name they were loaded under.
  std::vector<std::pair<std::string, ImageRecord*>> loaded;
  // The desktop shows the action image of each level in the current view.
  std::function<void(ImageRecord* image)> showAction;
};

// ---- names and choices ----
// The type and default depth entry an extension selects ("bmp", ".TGA";
// the first three characters, any case); nothing for other extensions.
struct TypeAndDepth {
  int type = 0;
  int depthEntry = 2;
};
std::optional<TypeAndDepth> ExtensionChoice(std::string_view extension);
// The extension as the dialog keeps it: a leading "." added when missing.
std::string DottedExtension(std::string_view extension);
// The file of frame index i (from 0): directory, base name without its
// extension (cut to 4 characters without long names), the number
// counter + i as "%04ld", then the extension. FLC, AVI and FS use the path
// unchanged. Empty when the name holds "*", which is refused.
std::string OutputFileName(std::string_view pathAndName, std::string_view extension, long index, long counter,
                           int type, bool longNames = true);
// Splits "dir/name.ext" into "dir/name" and "ext".
void SplitOutputPath(std::string_view path, std::string& pathAndName, std::string& extension);
// Writes the image under the name: into a temporary file beside it that is
// renamed over the name only when complete, so a failed save leaves the
// previous file. 0 written, 1 failed (the writer's message was shown).
int SaveFrame(ImageRecord* image, const std::string& path, int type, int depthEntry, int compress, int quality);

// "Animation (File) Frame Rate": frames per second and jiffies per frame
// of m milliseconds a frame (m at least 1).
long FramesPerSecond(long millis);
long JiffiesPerFrame(long millis);

// "Sequence Controls" OK: the total, the begin and finish frames and the
// current frame (all from 1). 0 taken; otherwise the message number (32,
// 30 or 46) shown, with the current frame corrected in `current`. A new
// total resizes the TimeLine, the film and the Trends, and puts the range
// back to 1..total (the film strip follows the TimeLine's frame count).
struct SequenceRange {
  int total = 7;
  int begin = 1;
  int finish = 7;
  int current = 1;
};
int TakeSequenceRange(SequenceRange& range);

// ---- the run ----
SequenceState& Sequence();
// The file a request writes for frame index i (from 0).
std::string RequestOutputName(const GenerateRequest& request, int frame);
// Every output name of a request, checked before anything is written: 1 when
// a name cannot be made (the user was told), 2 when the user declined to
// replace an existing file (message 91, asked once), else 0.
int CheckRequestOutputNames(const GenerateRequest& request);
// The request's frames in order, each made by frame(f, writing) (f from 0;
// writing false for frames replayed before the first written one), with the
// AVI file opened before and the film file closed after. 0 done, 1 a frame
// failed or the request stopped after one.
int RunRequestFrames(const GenerateRequest& request, const std::function<int(int, bool)>& frame);
// The request the desktop's Generate makes from the settings.
GenerateRequest RequestFromSettings();
// 0 done, 1 failed or stopped (the user was told), 2 cancelled at a
// question (82, 91).
int Generate(const GenerateRequest& request);
// The "Generate" command: message 78 while a sequence runs, else Generate.
int GenerateCommand();
// Frees generation's copies (the program's end, or a test's).
void FreeSequenceState();

}  // namespace qv
