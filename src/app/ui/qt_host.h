// The desktop program's host: real dialogs, the status-line bars, busy
// cursors and the event pump.
#pragma once

#include <QPointer>
#include <QCursor>
#include <array>

#include "base/host.h"

class QWidget;

namespace qv::ui {

class MainWindow;
class HelpWindow;
class AreaToolbox;
class ViewSubWindow;

class QtHost : public Host {
 public:
  QtHost();
  ~QtHost() override;

  void SetWindow(MainWindow* window);

  int RunMessage(const MessageRequest& request) override;
  void ShowNote(const std::string& text) override;
  void OpenHelp(const std::string& keyword) override;
  void ShowProgress(const ProgressDisplay& display) override;
  void PumpEvents() override;
  bool WaitForEvents() override;
  void SetProgressCursor(int index) override;
  void SetRunningButtons(bool running) override;
  bool IsMainMinimised() override;
  void SetMainTitle(const std::string& title) override;
  bool EditNewImageDetails(NewImageDetails& details) override;
  void ImageAdded(ImageRecord* image, bool openView) override;
  int SaveImageToOwnFile(ImageRecord* image) override;
  std::vector<std::string> ChooseFiles(const FileRequest& request) override;
  std::string ChooseSaveFile(const FileRequest& request) override;
  bool EditSaveChoices(SaveImageRequest& request) override;
  bool EditRawImage(RawImageRequest& request) override;
  void OpenToolWindow(int command) override;
  bool ToolWindowShown(int command) override;
  long ChooseVideoFrame(const VideoFrameRequest& request) override;
  int ChooseImage(const std::string& title) override;
  void RedrawViews() override;
  void ShowStatusText(const std::string& text) override;
  int ChooseUndoLayer(bool deUndo, const std::vector<std::string>& entries, int defaultIndex) override;
  void RefreshImageViews(ImageRecord* image, bool sizeChanged) override;
  void ShowViewRows(ViewRecord* view, std::span<const std::uint8_t> dib, int startRow, int rowCount) override;
  bool OpenViewWindow(ViewRecord* view) override;
  void SetViewTitle(ViewRecord* view, const std::string& title) override;
  void InvalidateView(ViewRecord* view) override;
  void FitViewWindow(ViewRecord* view, bool oneToOne) override;
  void CloseViewWindow(ViewRecord* view) override;
  void ActivateViewWindow(ViewRecord* view) override;
  void ShowChronograph(const std::string& action, const std::string& start, const std::string& end,
                       const std::string& elapsed) override;
  int RunWindowCommand(int id) override;
  bool HasWindows() override { return !window_.isNull(); }
  ScreenPixels GrabScreen() override;

  // The view window of a record, or null.
  class ViewSubWindow* SubWindowOf(const ViewRecord* view) const;
  AreaToolbox* Toolbox() const;

 private:
  QWidget* Parent() const;

  QPointer<MainWindow> window_;
  QPointer<HelpWindow> help_;
  QPointer<AreaToolbox> toolbox_;
  std::array<QCursor, 8> cursors_;
  bool overriding_ = false;
};

}  // namespace qv::ui
