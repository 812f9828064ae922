// The interface between the program and its loader libraries (QVldTIFF,
// QVLDJPEG). Both sides include this header; the libraries link neither the
// engine nor Qt, only their codec. Images cross as ImageRecord pointers made
// by the program's create-image callback; a library writes the pixels
// through the record's row table.
#pragma once

#include <cstdint>

namespace qv {
struct ImageRecord;
}

extern "C" {

// What the program tells a library about itself, passed where the instance
// handle goes.
struct QvLoaderInstance {
  std::int32_t size;     // sizeof(QvLoaderInstance)
  std::int32_t chopMem;  // non-zero: LZW-compressed TIFF may be read and written
};

typedef void (*QvProgressBeginFn)(const char* title, int total, int step);
typedef void (*QvProgressNestedFn)(const char* title, int total, int step);
typedef int (*QvProgressStepFn)(int done);  // 1 when the user asked to stop
typedef void (*QvProgressEndFn)(void);
// A new image, locked; sides below 1 become 1. Null when memory ran out.
typedef qv::ImageRecord* (*QvCreateImageFn)(int width, int height, const char* tag);
// A zero-filled block that stays put until freed; null when memory ran out.
typedef void* (*QvAllocateFn)(std::int64_t bytes, const char* tag);
typedef void (*QvFreeFn)(void* block);
// Shows numbered message `number` (flag non-zero: with the extra text).
typedef int (*QvMessageFn)(int number, int flag, const char* extra);

typedef qv::ImageRecord* (*QvImageLoadFn)(const char* path, void* mainWindow, const QvLoaderInstance* instance,
                                          QvProgressBeginFn begin, QvProgressNestedFn nested, QvProgressStepFn step,
                                          QvProgressEndFn end, QvCreateImageFn create, QvAllocateFn allocate,
                                          QvFreeFn release, QvMessageFn message);

// TIFF save option: bit 0 compress (LZW), bit 1 keep the alpha channel.
// JPEG save option: the quality, 0 to 100.
typedef int (*QvImageSaveFn)(const char* path, qv::ImageRecord* image, const QvLoaderInstance* instance,
                             void* mainWindow, int option, QvProgressBeginFn begin, QvProgressNestedFn nested,
                             QvProgressStepFn step, QvProgressEndFn end, QvAllocateFn allocate, QvFreeFn release,
                             QvMessageFn message);
}

namespace qv {
inline constexpr int kTiffOptionCompress = 1;
inline constexpr int kTiffOptionAlpha = 2;
}  // namespace qv
