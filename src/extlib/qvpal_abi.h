// The calling convention between the program and its palette library
// (QVpal.so): plain C types only, so that either side can be rebuilt alone.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QVPAL_MAX_ENTRIES 1024
#define QVPAL_NAME_MAX 60

// An editable palette. A count of 0 means 256.
typedef struct PaletteRecord {
  uint8_t red[QVPAL_MAX_ENTRIES];
  uint8_t green[QVPAL_MAX_ENTRIES];
  uint8_t blue[QVPAL_MAX_ENTRIES];
  int32_t count;
  char name[QVPAL_NAME_MAX];
} PaletteRecord;

// What the program lends the library: memory from its own manager (a real
// place, zero-filled), and its numbered messages (kind 0 plain, 1 with the
// detail text).
typedef void* (*QvPalAllocate)(int64_t size, const char* tag);
typedef void (*QvPalFree)(void* place);
typedef void (*QvPalMessage)(int number, int kind, const char* detail);
// Called by the library when its palette window has closed.
typedef void (*QvPalClosed)(void);

// The entries, looked up by these names.
typedef int (*QvOpenPal)(void* instance, void* mainWindow, PaletteRecord* palette, void* library,
                         QvPalClosed onClose, QvPalAllocate allocate, QvPalFree release,
                         QvPalMessage message, void** windowOut);
typedef int (*QvClosePal)(void);
typedef int (*QvLoadPal)(PaletteRecord* palette);
typedef int (*QvSavePal)(PaletteRecord* palette);
// Colour components 0..255, updated in place; customColours holds 16 packed
// colours (red + green * 256 + blue * 65536). 0 when the library ran.
typedef int (*QvAskCol)(void* instance, void* mainWindow, int* red, int* green, int* blue, void* library,
                        QvPalAllocate allocate, QvPalFree release, QvPalMessage message,
                        uint32_t* customColours, const char* title);

#ifdef __cplusplus
}
#endif
