// The seam between the engine and whatever shows things to a person.
//
// Engine code that must reach the user (a numbered message box, a question,
// a note, help, the progress bars, pumping pending window events) calls the
// Host installed in the Program. The GUI installs a Qt host; the default is
// headless (app/headless_host.h): it prints to stderr, never blocks, and
// answers every question with the choice that loses nothing unless an answer
// was configured.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qv {

struct ImageRecord;
struct NewImageDetails;
struct ViewRecord;

// The dialog templates of the numbered messages.
enum class MessageKind {
  Plain,     // "MessRC": title, text, OK, Help
  WithText,  // "MessRC2": title, first line, rest of the text, extra text
  Proceed,   // "MessProceed": Proceed / Cancel / Help
  Replace,   // "MessReplace": text, name; Replace / Cancel / Help
  Save,      // "MessSave": text; Save Now / Lose Changes / Cancel / Help
};
inline constexpr int kMessageKindCount = 5;

// Everything a host needs to present one message dialog.
struct MessageRequest {
  MessageKind kind = MessageKind::Plain;
  int number = -1;               // message number, -1 for a dialog without one
  std::string dialog;            // template name ("MessRC", ...)
  std::string title;             // "Message 007"; also the help keyword
  std::string text;              // the whole text (Plain, Proceed, Replace, Save)
  std::string firstLine;         // WithText: the text up to its first line break
  std::string secondLine;        // WithText: the text after its first line break
  std::string extra;             // WithText: extra text; Replace: the name
  std::string question;          // Save: the question under the text
  std::vector<std::string> buttons;  // in order, with their mnemonics
  std::vector<int> results;          // result of each button, same order
  int closeResult = 0;           // result when the dialog is closed by its frame
};

// A file dialog: title, filter ("All Images (*.*)"), starting folder.
struct FileRequest {
  std::string title;
  std::string filter;
  std::string folder;
  bool several = false;
};

// The image save dialog: the choices it opens with and, when confirmed,
// the ones made (type as a full-list index, depth as a depth entry).
struct SaveImageRequest {
  std::string title;
  std::string folder;
  std::string name;        // the proposed name; on return the whole path
  int type = 0;
  int depthEntry = 24;     // the SaveDepth setting the dialog pre-selects from
  int compress = 1;
  int quality = 75;
  int chopMem = 0;
};

// "RawDlg" ("Raw Image Load"): how to read a headerless file. The layout is
// 0 gray scale, 1 interleaved R,G,B triples, 2 red, green and blue blocks,
// 3 red, green and blue files (the green and blue ones named with their own
// extensions). The reader fills in its proposal; the dialog may change it.
struct RawImageRequest {
  std::string fileName;
  std::uint64_t fileSize = 0;
  std::int64_t start = 0;
  int width = 1;
  int height = 1;
  int layout = 0;
  std::string greenExtension = ".grn";
  std::string blueExtension = ".blu";
};

// "Select Video Frame": which frame of an animation file to load as an
// image. frame counts from 0; secondsPerFrame gives each frame's time.
struct VideoFrameRequest {
  std::string fileName;
  long frames = 1;
  double secondsPerFrame = 0.07;
  long frame = 0;  // the proposal
};

// The four outputs of the progress display.
struct ProgressDisplay {
  int sequencePercent = 0;
  std::string sequenceText;
  int operationPercent = 0;
  std::string operationText;
};

// The screen as the platform hands it over: rows top-down, four bytes a
// pixel in the order blue, green, red, unused (a 32-bit device-independent
// bitmap turned the right way up), or the reason there is nothing.
struct ScreenPixels {
  int width = 0;
  int height = 0;
  int depth = 0;             // the display's bits per pixel
  std::size_t stride = 0;    // bytes from one row to the next
  std::vector<std::uint8_t> bytes;
  std::string reason;        // why nothing was read (empty when read)
};

class Host {
 public:
  virtual ~Host() = default;

  // Runs a modal message dialog; returns the result of the chosen button.
  virtual int RunMessage(const MessageRequest& request) = 0;
  // Plain "Note!" box with the stop icon.
  virtual void ShowNote(const std::string& text) = 0;
  // Opens the help at a keyword (HelpOn has already logged the request).
  virtual void OpenHelp(const std::string& keyword) = 0;
  // Shows the progress bars and texts.
  virtual void ShowProgress(const ProgressDisplay& display) = 0;
  // Lets pending window events run; returns at once when there are none.
  virtual void PumpEvents() = 0;
  // Blocks until some window event has been handled (used while paused);
  // false when no event can come any more (quitting, or no windows at all).
  virtual bool WaitForEvents() = 0;
  // The busy cursor of long work: 0..7 by eighths of the percentage, -1 to
  // restore the previous cursor (and release the mouse).
  virtual void SetProgressCursor(int index) = 0;
  // The Stop and Pause buttons: running or idle.
  virtual void SetRunningButtons(bool running) = 0;
  // The main window: whether it is minimised, and its title.
  virtual bool IsMainMinimised() = 0;
  virtual void SetMainTitle(const std::string& title) = 0;

  // New Image Details: edits the proposal in place; false when cancelled.
  virtual bool EditNewImageDetails(NewImageDetails& details) = 0;
  // An image entered the image table; a GUI host opens or fills a view.
  virtual void ImageAdded(ImageRecord* image, bool openView) = 0;
  // Saves an image to its own file (name, type and choices remembered in it);
  // 0 when saved.
  virtual int SaveImageToOwnFile(ImageRecord* image) = 0;
  // A band of a view was rendered anew: set DIB rows startRow (counted from
  // the bottom) to startRow + rowCount - 1 into the view's kept bitmap, with
  // the palette of the DIB in the palette modes, and show the whole bitmap.
  // The DIB is freed after the call.
  virtual void ShowViewRows(ViewRecord* /*view*/, std::span<const std::uint8_t> /*dib*/, int /*startRow*/, int /*rowCount*/) {}

  // The "UndoChoose" (deUndo false) or "DeUndoChoose" list: returns the
  // chosen entry, or -1 when cancelled. Without a person, the default.
  virtual int ChooseUndoLayer(bool /*deUndo*/, const std::vector<std::string>& /*entries*/, int defaultIndex) {
    return defaultIndex;
  }
  // An image's pixels changed under its views (undo, de-undo); a changed
  // size resizes the views that are neither minimised nor maximised.
  virtual void RefreshImageViews(ImageRecord* /*image*/, bool /*sizeChanged*/) {}

  // Files chosen to open; empty when cancelled. Headless: none.
  virtual std::vector<std::string> ChooseFiles(const FileRequest&) { return {}; }
  // A file name to write (the dialog asks before replacing); empty when
  // cancelled. Headless: none.
  virtual std::string ChooseSaveFile(const FileRequest&) { return {}; }
  // The image save dialog; false when cancelled. Headless: cancelled.
  virtual bool EditSaveChoices(SaveImageRequest&) { return false; }
  // "Raw Image Load"; false when cancelled. Without a person the proposal
  // is taken.
  virtual bool EditRawImage(RawImageRequest&) { return true; }
  // "Select Video Frame": the chosen frame (from 0), or -1 when cancelled.
  // Without a person the proposal is taken.
  virtual long ChooseVideoFrame(const VideoFrameRequest& request) { return request.frame; }
  // Opens (or brings forward) the tool window a command shows.
  virtual void OpenToolWindow(int /*command*/) {}
  // Whether the tool window a command shows and hides is on the screen.
  virtual bool ToolWindowShown(int /*command*/) { return false; }
  // An image of the table chosen from a list titled so; -1 when cancelled.
  virtual int ChooseImage(const std::string&) { return -1; }
  // Something every view shows has changed (display mode, outline colours).
  virtual void RedrawViews() {}
  // The text of the status line (empty clears it): what is under the mouse,
  // or a passing remark (no box to close) on what a command did not do and why.
  virtual void ShowStatusText(const std::string& /*text*/) {}
  // The chronograph window's four values.
  virtual void ShowChronograph(const std::string& /*action*/, const std::string& /*start*/,
                               const std::string& /*end*/, const std::string& /*elapsed*/) {}

  // View windows. A view record is opened (false: no window could be made),
  // retitled, repainted (rendering anew when its re-render mark is set), and
  // sized to its picture (oneToOne: the region drawn at 1:1).
  virtual bool OpenViewWindow(ViewRecord* /*view*/) { return true; }
  virtual void SetViewTitle(ViewRecord* /*view*/, const std::string& /*title*/) {}
  virtual void InvalidateView(ViewRecord* /*view*/) {}
  virtual void FitViewWindow(ViewRecord* /*view*/, bool /*oneToOne*/) {}
  // The view record is already dropped (its image went away): close its
  // window without asking anything.
  virtual void CloseViewWindow(ViewRecord* /*view*/) {}
  // Brings a view's window to the front as the active one.
  virtual void ActivateViewWindow(ViewRecord* /*view*/) {}
  // A command carried out by a window of the desktop program (tool windows
  // and their dialogs); without windows it is refused.
  virtual int RunWindowCommand(int /*id*/) { return 1; }
  virtual bool HasWindows() { return false; }
  // The whole primary screen. Without a display: nothing, with the reason.
  virtual ScreenPixels GrabScreen() {
    ScreenPixels none;
    none.reason = "there is no display to capture";
    return none;
  }
};

// The host installed in the Program.
Host& TheHost();

}  // namespace qv
