// pixqv: the desktop program.
#include <QApplication>
#include <QScreen>

#include "anim/ui/sequence_dialogs.h"
#include "app/frame.h"
#include "app/program.h"
#include "capture/ui/capture_dialog.h"
#include "app/ui/main_window.h"
#include "app/ui/qt_host.h"
#include "extlib/palette_library.h"

int main(int argc, char** argv) {
  std::vector<std::string> words(argv + 1, argv + argc);
  if (qv::IsHeadlessBatch(words)) {
    // A batch frame with "/close" (a render farm's job) needs no display.
    qv::InstallHost<qv::HeadlessHost>();
    if (!qv::StartUp()) return 1;
    qv::ProcessCommandLine(words);
    const int result = qv::TheProgram().frame.batchResult;
    qv::ResetProgram();
    return result;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Pixanta: Q/v"));
  QApplication::setQuitOnLastWindowClosed(false);

  qv::Program& program = qv::TheProgram();
  auto& host = qv::InstallHost<qv::ui::QtHost>();
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QSize size = screen->size();
    int depth = screen->depth();
    program.display.screen = {depth, 1, depth >= 24 ? 24 : 18, size.width(), size.height()};
  }
  program.frame.iconic = !words.empty() && qv::IsIconWord(words.front());
  if (!qv::StartUp()) return 0;
  qv::ui::InstallSequenceHooks();

  int result = 0;
  {
    qv::ui::MainWindow window;
    host.SetWindow(&window);
    qv::ui::InstallCaptureTimer(&window);
    program.palettes.mainWindow = &window;
    window.ShowAtStart();
    qv::ProcessCommandLine(words);
    if (!program.frame.quitRequested) result = QApplication::exec();
    host.SetWindow(nullptr);
    program.palettes.mainWindow = nullptr;
  }
  qv::ResetProgram();
  return result;
}
