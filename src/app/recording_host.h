// A host that records everything shown to the user, for tests. Answers are
// queued per call; an empty queue gives the dialog's close result.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/host.h"
#include "store/image_record.h"

namespace qv {

class RecordingHost : public Host {
 public:
  std::vector<MessageRequest> messages;
  std::vector<std::string> notes;
  std::vector<std::string> helpKeywords;
  std::vector<ProgressDisplay> progress;
  std::vector<ImageRecord*> added;
  std::vector<ImageRecord*> saved;
  int pumps = 0;
  int waits = 0;
  int maxWaits = 1000;                 // a wait past this many reports "no more events"
  std::function<void()> onPump;        // runs inside PumpEvents (a click, say)
  std::function<void()> onWait;        // runs inside WaitForEvents
  std::vector<int> cursors;
  std::vector<bool> buttonsRunning;
  std::vector<std::string> titles;
  bool minimised = false;

  std::deque<std::vector<std::string>> chosenFiles;  // next ChooseFiles results
  std::deque<int> chosenImages;                      // next ChooseImage results
  std::vector<std::string> fileDialogs;              // titles of the file dialogs shown
  int redraws = 0;

  std::deque<int> answers;             // next RunMessage results
  bool acceptNewImage = true;          // EditNewImageDetails result
  NewImageDetails newImageEdits;       // applied when useNewImageEdits
  bool useNewImageEdits = false;
  int saveResult = 1;                  // SaveImageToOwnFile result
  bool clearChangedOnSave = false;     // a save that works clears the count
  struct ViewRows {
    ViewRecord* view;
    std::vector<std::uint8_t> dib;
    int startRow;
    int rowCount;
  };
  std::vector<ViewRows> viewRows;      // bands handed to views, with a copy of the DIB

  std::vector<int> MessageNumbers() const {
    std::vector<int> out;
    for (const auto& m : messages) out.push_back(m.number);
    return out;
  }

  int RunMessage(const MessageRequest& request) override {
    messages.push_back(request);
    if (answers.empty()) return request.closeResult;
    int a = answers.front();
    answers.pop_front();
    return a;
  }
  void ShowNote(const std::string& text) override { notes.push_back(text); }
  std::vector<std::string> statusTexts;
  void ShowStatusText(const std::string& text) override { statusTexts.push_back(text); }
  void OpenHelp(const std::string& keyword) override { helpKeywords.push_back(keyword); }
  void ShowProgress(const ProgressDisplay& display) override { progress.push_back(display); }
  void PumpEvents() override {
    ++pumps;
    if (onPump) onPump();
  }
  bool WaitForEvents() override {
    ++waits;
    if (onWait) onWait();
    return waits < maxWaits;
  }
  void SetProgressCursor(int index) override { cursors.push_back(index); }
  void SetRunningButtons(bool running) override { buttonsRunning.push_back(running); }
  bool IsMainMinimised() override { return minimised; }
  void SetMainTitle(const std::string& title) override { titles.push_back(title); }
  bool EditNewImageDetails(NewImageDetails& details) override {
    if (useNewImageEdits) details = newImageEdits;
    return acceptNewImage;
  }
  void ImageAdded(ImageRecord* image, bool) override { added.push_back(image); }
  int SaveImageToOwnFile(ImageRecord* image) override;
  void ShowViewRows(ViewRecord* view, std::span<const std::uint8_t> dib, int startRow, int rowCount) override {
    viewRows.push_back({view, {dib.begin(), dib.end()}, startRow, rowCount});
  }

  std::deque<int> undoChoices;                        // next ChooseUndoLayer results
  std::vector<std::vector<std::string>> undoLists;    // the lists offered
  std::vector<std::pair<ImageRecord*, bool>> refreshed;
  int ChooseUndoLayer(bool, const std::vector<std::string>& entries, int defaultIndex) override {
    undoLists.push_back(entries);
    if (undoChoices.empty()) return defaultIndex;
    int c = undoChoices.front();
    undoChoices.pop_front();
    return c;
  }
  void RefreshImageViews(ImageRecord* image, bool sizeChanged) override { refreshed.emplace_back(image, sizeChanged); }
  std::vector<std::string> ChooseFiles(const FileRequest& request) override {
    fileDialogs.push_back(request.title);
    if (chosenFiles.empty()) return {};
    auto files = chosenFiles.front();
    chosenFiles.pop_front();
    return files;
  }
  std::deque<std::string> chosenSaveFiles;  // next ChooseSaveFile results
  std::string ChooseSaveFile(const FileRequest& request) override {
    fileDialogs.push_back(request.title);
    if (chosenSaveFiles.empty()) return {};
    std::string file = chosenSaveFiles.front();
    chosenSaveFiles.pop_front();
    return file;
  }
  int ChooseImage(const std::string&) override {
    if (chosenImages.empty()) return -1;
    int i = chosenImages.front();
    chosenImages.pop_front();
    return i;
  }
  void RedrawViews() override { ++redraws; }

  std::vector<RawImageRequest> rawRequests;           // proposals shown in "RawDlg"
  std::function<bool(RawImageRequest&)> onRawImage;   // edits them; none: accepted as proposed
  bool EditRawImage(RawImageRequest& request) override {
    rawRequests.push_back(request);
    return onRawImage ? onRawImage(request) : true;
  }

  std::vector<ViewRecord*> invalidated;  // views repainted (re-rendered when marked)
  std::vector<std::vector<std::string>> chronograph;
  void InvalidateView(ViewRecord* view) override { invalidated.push_back(view); }
  std::vector<ViewRecord*> closedWindows;
  void CloseViewWindow(ViewRecord* view) override { closedWindows.push_back(view); }
  void ShowChronograph(const std::string& action, const std::string& start, const std::string& end,
                       const std::string& elapsed) override {
    chronograph.push_back({action, start, end, elapsed});
  }
};

}  // namespace qv
