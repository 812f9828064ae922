// The bodies of the area-file, TimeLine, exposure sheet and film strip fuzz targets, shared by the
// libFuzzer programs and the normal suite's replay of their seeds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <string_view>

#include <unistd.h>

#include "anim/anim_state.h"
#include "anim/timeline_file.h"
#include "app/program.h"
#include "app/recording_host.h"
#include "area/area_files.h"
#include "formats/film_frame.h"
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

// An exposure sheet file: what it reads writes again and reads back the
// same, and every cell's status text can be made.
inline void FuzzSheet(const std::uint8_t* data, std::size_t size) {
  ResetProgram();
  InstallHost<RecordingHost>();
  if (ReadSheetText(std::string_view(reinterpret_cast<const char*>(data), size), false) != 0) return;
  const std::string written = SheetText("fuzz");
  // Only the filled cells: a sparse sheet of many frames has few of them.
  for (int c = 0; c < SheetColumnsInUse(); ++c) {
    const auto& column = Sheet().columns[static_cast<std::size_t>(c)];
    for (std::size_t f = 0; f < column.size(); ++f)
      if (column[f].record) (void)SheetStatusText(c, static_cast<int>(f));
  }
  if (ReadSheetText(written, false) != 0 || SheetText("fuzz") != written) __builtin_trap();
}

// A film strip file, whole (it must read from a file: films pass 4 GiB) and
// one frame of it. A film that loads saves again as the same bytes.
inline void FuzzFilm(const std::uint8_t* data, std::size_t size) {
  ResetProgram();
  InstallHost<RecordingHost>();
  if (InitImageTable() != 0) __builtin_trap();
  ImageRecord* frame = ReadFilmFrame(std::span<const std::uint8_t>(data, size), "fuzz.flm");
  if (frame) FreeImage(frame);
  const auto dir = std::filesystem::temp_directory_path();
  const auto in = dir / ("qv-film-fuzz-" + std::to_string(::getpid()) + ".flm");
  const auto out = dir / ("qv-film-fuzz-" + std::to_string(::getpid()) + "-out.flm");
  {
    std::ofstream file(in, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  if (LoadFilmStrip(in) == 0 && Film().length == FrameCount() && size >= 16 &&
      (data[12] | data[13] << 8) >= 2) {
    if (SaveFilmStrip(out) != 0) __builtin_trap();
    std::ifstream file(out, std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (written.size() > size || written.compare(0, written.size(), reinterpret_cast<const char*>(data), written.size()) != 0)
      __builtin_trap();
  }
  std::error_code ec;
  std::filesystem::remove(in, ec);
  std::filesystem::remove(out, ec);
}

}  // namespace qv::fuzz
