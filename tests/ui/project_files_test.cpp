// Project files through the File menu offscreen: three images in their roles
// (names with blanks) and a new one saved, closed and opened again, the
// action image's window active again.
#include <QMdiArea>
#include <QMdiSubWindow>

#include "anim/project.h"
#include "app/commands.h"
#include "display/ui/view_window.h"
#include "display/views.h"
#include "formats/bmp.h"
#include "ops/apply.h"
#include "store/image_record.h"
#include "ui/ui_test_support.h"

using namespace qv;

class ProjectFilesTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() { QVERIFY(app.Start()); }
  void cleanupTestCase() { app.Stop(); }

  void threeRolesComeBackThroughTheFileMenu() {
    QMdiArea* area = app.window->DocumentArea();
    for (int width : {4, 5, 6}) {
      const std::string path = app.Path(QStringLiteral("image %1.bmp").arg(width)).toStdString();
      ImageRecord* image = CreateLockedImage(width, 3, "test");
      QCOMPARE(WriteBmp(image, path, 24), 0);
      FreeImage(image);
      QCOMPARE(OpenFile(path), 0);
    }
    // Never saved: it has no file to be reloaded from.
    QCOMPARE(CreateNewImage(ProposeNewImage()), 0);
    ImageAt(3)->changed = 0;
    QCOMPARE(area->subWindowList().size(), 4);
    Pipeline().source = ImageAt(0);
    SetActionView(ViewsOf(ImageAt(1)).front());

    const QString project = app.Path(QStringLiteral("roles.QVP"));
    test::AnswerFileDialog(project);
    QCOMPARE(RouteCommand(kCommandSaveProjectAs), 0);
    // No Trend to keep and nothing changed: nothing is asked.
    QCOMPARE(RouteCommand(kCommandCloseProject), 0);
    QCOMPARE(ImageCount(), 0);
    QTRY_COMPARE(area->subWindowList().size(), 0);

    test::AnswerFileDialog(project);
    QCOMPARE(RouteCommand(kCommandOpenProject), 0);
    QCOMPARE(ImageCount(), 3);
    QCOMPARE(area->subWindowList().size(), 3);
    QCOMPARE(ActionImage()->width, 5);
    QVERIFY(Pipeline().source);
    QCOMPARE(Pipeline().source->width, 4);
    QMdiSubWindow* active = area->activeSubWindow();
    QVERIFY(active);
    QCOMPARE(active, static_cast<QMdiSubWindow*>(app.host->SubWindowOf(Views().action)));
    QCOMPARE(Views().action->image, ActionImage());
  }

 private:
  test::UiProgram app;
};

QTEST_MAIN(ProjectFilesTest)
#include "project_files_test.moc"
