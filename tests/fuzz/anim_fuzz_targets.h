// The bodies of the area-file and TimeLine fuzz targets, shared by the
// libFuzzer programs and the normal suite's replay of their seeds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "anim/anim_state.h"
#include "anim/timeline_file.h"
#include "app/program.h"
#include "app/recording_host.h"
#include "area/area_files.h"
#include "store/image_record.h"

namespace qv::fuzz {

// The first byte picks the reader: a selection read is refitted and built on
// a small image, a shape stretched into a box, as the program next does.
inline void FuzzAreaFile(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  ResetProgram();
  InstallHost<RecordingHost>();
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  ImageRecord* image = CreateImage(24, 16, "fuzz");
  if (data[0] & 1) {
    if (ReadIShapeText(text, "fuzz") == 0) {
      AreaSelection& s = TheProgram().area.selection;
      s.mode = kAreaIShape;
      SetIShapeCapture(s);
      SetSelectionBox(s, 2, 2, 20, 13);
      FinishSelection(image, 0, 0);
    }
  } else if (ReadAreaFileText(text) == 0) {
    FinishLoadedSelection(image, 0);
    // What was read writes out and reads back as the same selection.
    const std::string written = AreaFileText();
    if (ReadAreaFileText(written) != 0 || AreaFileText() != written) __builtin_trap();
  }
}

// Whatever the reader takes must write again, read back the same, and give
// the content of every row at its first and last frame and at frames spread
// between (each look-up scans the row, so every frame of a 4096-frame file
// would make one input take seconds).
inline void FuzzTimeLine(const std::uint8_t* data, std::size_t size) {
  ResetProgram();
  InstallHost<RecordingHost>();
  if (ReadTimeLineText(std::string_view(reinterpret_cast<const char*>(data), size)) != 0) return;
  const std::string written = TimeLineText("fuzz");
  const int frames = FrameCount(), step = frames > 64 ? frames / 64 : 1;
  for (int level = 0; level < LevelsInUse(); ++level)
    for (int row = kRowSource; row <= kRowAction; ++row) {
      if (!RowExists(level, row)) continue;
      for (int frame = 0; frame < frames; frame += step) EffectiveContent(level, frame, row);
      EffectiveContent(level, frames - 1, row);
    }
  if (ReadTimeLineText(written) != 0 || TimeLineText("fuzz") != written) __builtin_trap();
}

}  // namespace qv::fuzz
