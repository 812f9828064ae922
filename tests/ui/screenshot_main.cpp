// pixqv_shot: the desktop program started as pixqv starts, with a picture
// opened, Colorize chosen, an ellipse dragged on its view with the toolbox's
// Ellipse (which, painting immediately, colorizes it), the chronograph
// showing how long that took, and the main window written to a PNG.
// Usage: pixqv_shot PICTURE OUT.png
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QTest>
#include <cstdio>

#include "app/commands.h"
#include "app/frame.h"
#include "app/program.h"
#include "app/ui/main_window.h"
#include "app/ui/qt_host.h"
#include "area/area_mask.h"
#include "area/ui/area_toolbox.h"
#include "display/ui/view_window.h"
#include "formats/image_files.h"
#include "ops/apply.h"
#include "ops/ui/op_settings_window.h"
#include "store/image_record.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: pixqv_shot PICTURE OUT.png\n");
    return 2;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Pixanta: Q/v"));
  qv::Program& program = qv::TheProgram();
  auto& host = qv::InstallHost<qv::ui::QtHost>();
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    int depth = screen->depth();
    program.display.screen = {depth, 1, depth >= 24 ? 24 : 18, screen->size().width(), screen->size().height()};
  }
  if (!qv::StartUp()) return 1;
  int result = 1;
  {
    qv::ui::MainWindow window;
    host.SetWindow(&window);
    window.setGeometry(0, 0, 1000, 700);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) return 1;
    if (qv::OpenFile(argv[1]) != 0) return 1;
    QList<QMdiSubWindow*> subs = window.DocumentArea()->subWindowList();
    auto* sub = subs.isEmpty() ? nullptr : dynamic_cast<qv::ui::ViewSubWindow*>(subs.front());
    if (!sub) return 1;
    sub->move(260, 20);
    QTest::qWait(100);
    // The effect first: with Immediate Painting the selection applies it.
    qv::SetWorkMethod(qv::kImmediatePainting);
    constexpr int kColorize = 3188, kShowChronograph = 119;
    if (QAction* colorize = window.ActionOf(kColorize)) colorize->trigger();
    if (QWidget* settings = qv::ui::FindOpSettingsWindow(&window)) settings->move(window.mapToGlobal(QPoint(270, 440)));
    program.settings.chron = {20, 420, 0, 0};
    if (QAction* chron = window.ActionOf(kShowChronograph)) chron->trigger();
    qv::RouteCommand(616);
    if (qv::ui::AreaToolbox* tools = host.Toolbox()) {
      tools->Button(qv::kAreaEllipse)->click();
      tools->move(window.mapToGlobal(QPoint(4, 80)));
    }
    qv::ui::ViewWindow* view = sub->View();
    QPoint centre(view->width() / 2, view->height() / 2);
    QPoint corner(centre.x() + view->width() / 3, centre.y() + view->height() / 3);
    QTest::mousePress(view, Qt::LeftButton, {}, centre);
    QTest::mouseMove(view, corner);
    QTest::mouseRelease(view, Qt::LeftButton, {}, corner);
    QTest::qWait(200);
    // The desktop as a person would see it, tool window included.
    QPixmap shot = window.screen()->grabWindow(0, 0, 0, 1000, 700);
    if (shot.isNull() || shot.toImage().allGray()) shot = window.grab();
    result = shot.save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
    if (result == 0) std::printf("%s\n", argv[2]);
    host.SetWindow(nullptr);
  }
  qv::ResetProgram();
  return result;
}
