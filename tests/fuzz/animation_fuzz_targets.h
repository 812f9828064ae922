// The bodies of the FLIC and AVI fuzz targets, shared by the libFuzzer
// programs and the normal suite's replay of their seeds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "anim/avi.h"
#include "anim/flic.h"
#include "app/program.h"
#include "app/recording_host.h"
#include "store/image_record.h"

namespace qv::fuzz {

// Answers "Select Video Frame" with a frame the input's last byte picks, so
// that later frames (and the deltas leading to them) are reached too.
struct FrameFromInput : RecordingHost {
  long pick = 0;
  long ChooseVideoFrame(const VideoFrameRequest& r) override { return r.frames > 0 ? pick % r.frames : 0; }
};

inline void FuzzFlic(const std::uint8_t* data, std::size_t size) {
  ResetProgram();
  InstallHost<FrameFromInput>().pick = size ? data[size - 1] : 0;
  if (InitImageTable() != 0) __builtin_trap();
  ImageRecord* image = ReadFlicFrame(std::span<const std::uint8_t>(data, size), "fuzz.flc");
  if (image) {
    if (image->width < 1 || image->height < 1) __builtin_trap();
    FreeImage(image);
  }
}

inline void FuzzAvi(const std::uint8_t* data, std::size_t size) {
  ResetProgram();
  InstallHost<FrameFromInput>().pick = size ? data[size - 1] : 0;
  if (InitImageTable() != 0) __builtin_trap();
  ImageRecord* image = ReadAviFrame(std::span<const std::uint8_t>(data, size), "fuzz.avi");
  if (image) FreeImage(image);
}

}  // namespace qv::fuzz
