// The exposure sheet window offscreen: opened from the TimeLine menu, its
// commands' tips, files dropped by placement, the status of a cell and the
// file cell's dialog.
#include <QAbstractButton>
#include <QApplication>
#include <QMouseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>

#include "anim/anim_state.h"
#include "anim/ui/exposure_sheet_window.h"
#include "app/commands.h"
#include "ui/ui_test_support.h"

using namespace qv;

class ExposureSheetWindowTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() { QVERIFY(app.Start()); }

  void sheetOpensDropsAndEditsAndClosingUnchecksIt() {
    QVERIFY(CommandAvailable(ui::kExposureSheetCommand));
    app.window->RunCommand(ui::kExposureSheetCommand);
    ui::ExposureSheetWindow* w = ui::FindExposureSheetWindow(app.window->DocumentArea());
    QVERIFY(w);
    QVERIFY(CommandChecked(ui::kExposureSheetCommand));
    QCOMPARE(w->windowTitle(), QStringLiteral("Exposure Sheet"));
    QCOMPARE(w->findChildren<QAbstractButton*>().size(), 17);
    QCOMPARE(w->findChild<QAbstractButton*>(QStringLiteral("Perform Operation"))->toolTip(),
             QStringLiteral("Perform Operation"));

    // Two files dropped on frame 2 of column 2 with actors placed twice.
    Sheet().actorRepeat = 2;
    ui::SheetGrid* grid = w->Grid();
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/a.bmp")), QUrl::fromLocalFile(QStringLiteral("/tmp/b.bmp"))});
    const QPoint at = grid->CellRect(1, 1).center();
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
    // Straight to the grid: the application passes a drop only to the target
    // of a drag in progress.
    static_cast<QObject*>(grid)->event(&drop);
    for (int f : {1, 2}) QCOMPARE(std::string(SheetFileAt(1, f)->fileName), std::string("/tmp/a.bmp"));
    QCOMPARE(std::string(SheetFileAt(1, 3)->fileName), std::string("/tmp/b.bmp"));
    const QPoint over = grid->CellRect(1, 3).center();
    QMouseEvent move(QEvent::MouseMove, over, grid->mapToGlobal(over), Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(grid, &move);
    QCOMPARE(w->Status()->text(), QStringLiteral("Exp F:4 A:2   File: /tmp/b.bmp"));

    // The file cell's dialog renames it.
    QString title;
    test::OnNextModal([&](QWidget* d) {
      title = d->windowTitle();
      d->findChild<QLineEdit*>()->setText(QStringLiteral("/tmp/c.bmp"));
      qobject_cast<QDialog*>(d)->accept();
    });
    QTest::mouseDClick(grid, Qt::LeftButton, {}, grid->CellRect(1, 3).center());
    QCOMPARE(title, QStringLiteral("Exposure Sheet Image: Frame 4, Action 2"));
    QCOMPARE(std::string(SheetFileAt(1, 3)->fileName), std::string("/tmp/c.bmp"));

    Sheet().modified = false;
    app.window->RunCommand(ui::kExposureSheetCommand);
    QVERIFY(!ui::FindExposureSheetWindow(app.window->DocumentArea()));
    QVERIFY(!CommandChecked(ui::kExposureSheetCommand));
  }

  void cleanupTestCase() { app.Stop(); }

 private:
  test::UiProgram app;
};

QTEST_MAIN(ExposureSheetWindowTest)
#include "exposure_sheet_window_test.moc"
