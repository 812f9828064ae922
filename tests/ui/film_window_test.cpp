// The film strip window offscreen: opened by its command, moved with its
// buttons, played on its timer, rescaled by its dialog and ejected.
#include <QAbstractButton>
#include <QDialog>
#include <QLabel>
#include <QMdiArea>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include "anim/anim_state.h"
#include "anim/film_strip.h"
#include "anim/timeline.h"
#include "anim/ui/film_window.h"
#include "app/commands.h"
#include "store/image_record.h"
#include "ui/ui_test_support.h"

using namespace qv;

namespace {

void OnDialog(std::function<void(QDialog*)> act) {
  test::OnNextModal([act](QWidget* w) {
    auto* d = qobject_cast<QDialog*>(w);
    if (!d) return;
    act(d);
    if (d->isVisible()) d->accept();
  });
}

void Press(QWidget* w, const QString& text) {
  for (QAbstractButton* b : w->findChildren<QAbstractButton*>())
    if (b->text() == text) return b->click();
  qWarning("no button %s", qPrintable(text));
}

void PlaceGrey(int frame, int level) {
  ImageRecord* image = CreateImage(8, 6, "test");
  LockImage(image);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) {
      std::uint8_t* p = PixelAt(image, x, y);
      p[0] = p[1] = p[2] = static_cast<std::uint8_t>(level);
    }
  UnlockImage(image);
  PlaceImage(*image, frame);
  FreeImage(image);
}

}  // namespace

class FilmWindowTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() { QVERIFY(app.Start()); }

  void itsCommandOpensAndClosesTheWindow() {
    QMdiArea* area = app.window->DocumentArea();
    QVERIFY(!ui::FindFilmWindow(area));
    app.window->RunCommand(901);
    QVERIFY(ui::FindFilmWindow(area));
    QVERIFY(CommandChecked(901));
    QVERIFY(CommandAvailable(3025));
    app.window->RunCommand(901);
    QVERIFY(!ui::FindFilmWindow(area));
    QVERIFY(!CommandChecked(901));
    QVERIFY(!Film().windowOpen);
    app.window->RunCommand(901);
    QVERIFY(ui::FindFilmWindow(area));
    QVERIFY(Film().windowOpen);
  }

  void buttonsMoveTheSelectionAndTheStatusFollows() {
    ui::FilmWindow* w = ui::FindFilmWindow(app.window->DocumentArea());
    QVERIFY(w);
    QCOMPARE(w->Position()->text(), QStringLiteral("  1 /  7"));
    QCOMPARE(w->Button(9710)->toolTip(), QStringLiteral("Right one Frame"));
    QVERIFY(w->Button(9710)->autoRepeat());
    QCOMPARE(w->Button(9710)->autoRepeatInterval(), 500);
    w->Button(9710)->click();
    w->Button(9710)->click();
    QCOMPARE(w->Position()->text(), QStringLiteral("  3 /  7"));
    QCOMPARE(w->Time()->text(), QStringLiteral("00:00.140"));
    w->Button(9702)->click();
  }

  void playRunsOnTheWindowsTimer() {
    ui::FilmWindow* w = ui::FindFilmWindow(app.window->DocumentArea());
    PlaceGrey(0, 10);
    PlaceGrey(1, 200);
    w->repaint();  // the paint renders what changed
    QVERIFY(FilmRendered());
    QVERIFY(!ui::FilmFrameImage(1).isNull());
    QCOMPARE(qGray(ui::FilmFrameImage(1).pixel(48, 36)), 200);
    w->Button(9701)->click();
    QVERIFY(Film().playing);
    QVERIFY(CommandChecked(902));
    QTRY_VERIFY(w->Shown() > 0);
    w->Button(9706)->click();
    QVERIFY(!Film().playing);
  }

  void resolutionDialogRescalesTheFilm() {
    OnDialog([](QDialog* d) {
      QCOMPARE(d->windowTitle(), QStringLiteral("Filmstrip Resolution"));
      d->findChild<QSpinBox*>(QStringLiteral("X"))->setValue(120);
      Press(d, QStringLiteral("Match Output Aspect Ratio"));
      QCOMPARE(d->findChild<QSpinBox*>(QStringLiteral("Y"))->value(), 90);
    });
    app.window->RunCommand(908);
    QCOMPARE(Film().frameWidth, 120);
    QCOMPARE(Film().frameHeight, 90);
    QCOMPARE(Film().slots[1]->width, 120);
  }

  void ejectAsksAndEmptiesTheFilm() {
    ui::FilmWindow* w = ui::FindFilmWindow(app.window->DocumentArea());
    OnDialog([](QDialog* d) { Press(d, QStringLiteral("OK  - Eject film strip and discard")); });
    w->Button(9707)->click();
    QVERIFY(!FilmHasSlots());
  }

  void cleanupTestCase() { app.Stop(); }

 private:
  test::UiProgram app;
};

QTEST_MAIN(FilmWindowTest)
#include "film_window_test.moc"
