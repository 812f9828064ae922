// The film strip: one small picture per TimeLine frame, filled by sequence
// generation or by single operations, played back on a timer, and kept in
// ".FLM" files (the "ZFLM" header, then each frame as red, green and blue
// planes of W x H bytes).
//
// Results follow the system's codes: 0 done, 1 failed (the user has been
// told), 2 cancelled.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "store/memory_places.h"

namespace qv {

struct ImageRecord;

inline constexpr int kFilmDefaultWidth = 96;
inline constexpr int kFilmDefaultHeight = 72;
// A frame side the file can hold and the reader accepts.
inline constexpr int kFilmMaxSide = 1024;
// Frames a film strip file can hold.
inline constexpr int kFilmMaxFrames = 4096;
inline constexpr std::uint64_t kFilmHeaderBytes = 16;
// The render flags have room past the last frame, so a TimeLine that grows
// before the film is resized never writes outside them.
inline constexpr int kFilmFlagSlack = 1024;
inline constexpr int kFilmTimerId = 1110;
inline constexpr int kFilmRepeatMillis = 500;  // a held one-frame button

// What a single operation's result does to the film (the Filmstrip menu).
inline constexpr int kFilmScroll = 0;
inline constexpr int kFilmPlaceCurrent = 1;
inline constexpr int kFilmNoUpdate = 2;

struct FilmStrip {
  int frameWidth = kFilmDefaultWidth;
  int frameHeight = kFilmDefaultHeight;
  int length = 0;                   // slots allocated; 0 while the film is absent
  ImageRecord** slots = nullptr;    // real place: one image or null per slot
  std::uint8_t* used = nullptr;     // "FmUsed": 1 = the slot must be rendered again
  PlaceHandle* bitmaps = nullptr;   // the display bitmap of each slot, or null
  int current = 0;                  // the selected frame
  int playPosition = 0;             // the frame playback draws next
  int direction = 1;
  bool playing = false;
  bool windowOpen = false;          // single operations update the film only then
  bool rendering = false;           // display bitmaps being made: the window stays
  std::array<std::uint8_t, 3> background{0, 0, 0};  // "Off Image Display": margins
  // The window, when open: redraw it (after a load, a rescale, a move).
  std::function<void()> redraw;
  // The platform timer: start (id, milliseconds; false when refused) and stop.
  std::function<bool(int, int)> startTimer;
  std::function<void(int)> stopTimer;
};

// Where a picture lands in a frame: its fitted size and its margins.
struct FilmFit {
  int width = 1;
  int height = 1;
  int left = 0;
  int top = 0;
};
// Fits the image's displayed shape (its size over its resolutions) into the
// frame: full width first, full height when that is too tall; centred.
FilmFit FitIntoFrame(const ImageRecord& image, int frameWidth, int frameHeight);

// The program's one FilmStrip (owned by the animation state).
FilmStrip& Film();

// ---- slots ----
// Makes the slot table for the TimeLine's frame count when there is none.
// 0 ok, 1 no memory (the box "No real memory for film image", or message 22
// "For filmstrip array").
int EnsureFilm();
bool FilmHasSlots();  // at least one slot holds a picture
// Keeps the slots below min(old, new), frees those past the new end, adds
// empty ones. 0 ok, 1 no memory (message 4; the film keeps its length).
int ResizeFilm(long oldCount, long newCount);
// Resamples every present slot to the new size (nearest neighbour),
// progress "Scaling film". 0 ok, 1 no memory (message 4).
int RescaleFilm(int newWidth, int newHeight);
// Fits the image into frame `frame` (from 0, as slots count), centred on
// the background colour; frames outside the film are ignored.
// 0 ok, 1 failure (message 2, 3 or 50).
int PlaceImage(const ImageRecord& image, long frame);
// A single operation's result, by the update mode (not during generation).
void UpdateFilmAfterOperation(const ImageRecord& image);
// Frees every slot (the film keeps its length and frame size).
void EjectFilm();
// Frees the whole film: slots, flags, bitmaps.
void FreeFilm();

// ---- files ----
// 0 saved, 1 failed (message 26 with the reason, or the memory notice).
int SaveFilmStrip(const std::filesystem::path& path);
// 0 loaded, 1 failed (the film is kept as it was), 2 cancelled by the user
// (a shorter film would drop TimeLine frames).
int LoadFilmStrip(const std::filesystem::path& path);

// ---- display and playback ----
// Renders every flagged slot for the display mode; 0 ok, 1 failure.
int RenderFilm(int mode);
bool FilmRendered();
// 1000 - floor(1000 * (speed / 1000)^0.2) milliseconds.
int PlaybackInterval(int speed);
// Moves playback one step (pong, reverse) and returns the frame to draw.
int PlaybackTick();
// 0 playing, 1 refused (19 no rendered film, 77 no timer).
int StartPlayback();
void StopPlayback();
// The speed changed: a running timer starts again with the new interval.
void SetPlaybackSpeed(int speed);
// Moves the selected frame (clamped to the film) and redraws.
void SetCurrentFilmFrame(long frame);
// The film strip window's controls (9700..9712): value is the slider's
// position for 9708 (0..1000) and the new speed for 9712. 0 done, 1 refused.
int FilmWindowCommand(int id, int value = 0);
// "Eject Film Strip": save first, eject, or keep (message 56 when empty).
// 0 ejected, 1 failed, 2 kept.
int EjectFilmCommand();
// Menu 3010 and 3020: the file dialogs, then the file. 0 done, 1 failed,
// 2 cancelled. The folder is remembered in FilmPath.
int LoadFilmCommand();
int SaveFilmCommand();
// Closing the window while its frames are rendered: message 100, true.
bool RefuseFilmClose();

// "%3ld /%3ld" of the selected frame (from 1) and the total.
std::string FilmPositionText();
// "%02ld:%02ld.%03ld": the time of the selected frame.
std::string FilmTimeText(int millisPerFrame);

}  // namespace qv
