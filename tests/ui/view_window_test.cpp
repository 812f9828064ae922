// A person's path through the program, offscreen: open a bitmap, see it in a
// view, zoom, draw an ellipse with the toolbox's Ellipse, save the result.
#include <QAbstractButton>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTemporaryDir>
#include <QtTest>

#include "app/commands.h"
#include "app/frame.h"
#include "app/program.h"
#include "app/ui/main_window.h"
#include "app/ui/qt_host.h"
#include "area/ui/area_toolbox.h"
#include "display/render.h"
#include "display/ui/view_window.h"
#include "display/views.h"
#include "formats/image_files.h"
#include "formats/save_choices.h"
#include "store/image_record.h"

using namespace qv;

namespace {

// A picture with something to see: a gradient across, bands down.
ImageRecord* SamplePicture(int w, int h) {
  ImageRecord* image = CreateLockedImage(w, h, "test");
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = PixelAt(image, x, y);
      p[0] = static_cast<std::uint8_t>(x * 255 / (w - 1));
      p[1] = static_cast<std::uint8_t>((y / 8) % 2 ? 200 : 40);
      p[2] = static_cast<std::uint8_t>(255 - x * 255 / (w - 1));
      p[3] = 255;
    }
  UnlockImage(image);
  return image;
}

std::uint8_t MaskAt(int x, int y) {
  AreaMask& m = TheProgram().area.mask;
  auto* bytes = static_cast<std::uint8_t*>(LockVirtual(m.place));
  std::uint8_t v = bytes[static_cast<std::size_t>(y) * m.width + x];
  UnlockVirtual(m.place);
  return v;
}

}  // namespace

class ViewWindowTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() {
    QVERIFY(dir.isValid());
    qputenv("PIXQV_INI", dir.filePath(QStringLiteral("PIXQV.ini")).toUtf8());
    ResetProgram();
    host = &InstallHost<ui::QtHost>();
    QCOMPARE(StartUp(), 1);
    TheProgram().display.mode = kModeRgb24;
    window = new ui::MainWindow;
    host->SetWindow(window);
    window->resize(1000, 800);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));

    // The bitmap the user opens is written by the program itself.
    ImageRecord* made = SamplePicture(120, 80);
    bmpPath = dir.filePath(QStringLiteral("a.bmp")).toStdString();
    QCOMPARE(SaveImageFile(made, bmpPath, kSaveBitmap, kDepth24, 0, 75), 0);
    FreeImage(made);
  }

  void openingAFileShowsItInATitledView() {
    QCOMPARE(OpenFile(bmpPath), 0);
    QCOMPARE(ImageCount(), 1);
    image = ImageAt(0);
    QList<QMdiSubWindow*> subs = window->DocumentArea()->subWindowList();
    QCOMPARE(subs.size(), 1);
    sub = dynamic_cast<ui::ViewSubWindow*>(subs[0]);
    QVERIFY(sub);
    view = sub->View();
    // KeepAspect opened it at 1:1.
    QTRY_COMPARE(view->size(), QSize(120, 80));
    QCOMPARE(sub->windowTitle(), QStringLiteral("View - a.bmp (1:1)"));
    view->repaint();
    // What is on screen is the renderer's picture of the image.
    QCOMPARE(view->Bitmap().size(), QSize(120, 80));
    LockImage(image);
    for (QPoint p : {QPoint(0, 0), QPoint(119, 79), QPoint(60, 9)}) {
      const std::uint8_t* px = PixelAt(image, p.x(), p.y());
      QCOMPARE(view->Bitmap().pixel(p), qRgb(px[0], px[1], px[2]));
    }
    UnlockImage(image);
  }

  void secondViewNumbersTitlesAndZoomRetraces() {
    QCOMPARE(RouteCommand(kCommandOpenAnotherView), 0);  // one image: no list to choose from
    QList<QMdiSubWindow*> subs = window->DocumentArea()->subWindowList();
    QCOMPARE(subs.size(), 2);
    auto* second = dynamic_cast<ui::ViewSubWindow*>(subs[1]);
    QTRY_COMPARE(sub->windowTitle(), QStringLiteral("View[1] - a.bmp (1:1)"));
    QCOMPARE(second->windowTitle().left(16), QStringLiteral("View[2] - a.bmp "));

    // Zoom in by dragging a rectangle with the zoom tool: twice as large.
    ui::ViewWindow* v2 = second->View();
    QTRY_COMPARE(v2->size(), QSize(120, 80));
    QCOMPARE(RouteCommand(kCommandMagnify), 0);
    QTest::mousePress(v2, Qt::LeftButton, {}, QPoint(30, 20));
    QTest::mouseRelease(v2, Qt::LeftButton, {}, QPoint(90, 60));
    ViewRecord* r2 = v2->Record();
    QCOMPARE(r2->zoomKind, kZoomIn);
    QCOMPARE(r2->left, 30 * 119 / 120);
    // The window kept its width; the region is 61 pixels wide.
    QTRY_COMPARE(v2->width(), 120);
    QCOMPARE(r2->right - r2->left + 1, 61);
    QVERIFY2(second->windowTitle().endsWith(QStringLiteral(" (1.95:1)")), qPrintable(second->windowTitle()));
    // Zoom out: the only zoomed view goes back to the whole image.
    QCOMPARE(RouteCommand(kCommandDemagnify), 0);
    QCOMPARE(r2->zoomKind, kZoomNone);
    second->close();
    QTRY_COMPARE(window->DocumentArea()->subWindowList().size(), 1);
    QTRY_COMPARE(sub->windowTitle(), QStringLiteral("View - a.bmp (1:1)"));
    QCOMPARE(ImageCount(), 1);
  }

  void ellipseDraggedWithTheToolboxMode() {
    QCOMPARE(RouteCommand(616), 0);
    ui::AreaToolbox* tools = host->Toolbox();
    QVERIFY(tools && tools->isVisible());
    QCOMPARE(tools->windowTitle(), QStringLiteral("Tools"));
    tools->Button(kAreaEllipse)->click();
    QCOMPARE(TheProgram().area.selection.mode, kAreaEllipse);
    // From the centre (60, 40) out to (90, 60): radii 30 and 20.
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(60, 40));
    QTest::mouseMove(view, QPoint(80, 50));
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(90, 60));
    const AreaSelection& s = TheProgram().area.selection;
    QCOMPARE(s.mode, kAreaEllipse);
    QCOMPARE(s.centreX, 60);
    QCOMPARE(s.centreY, 40);
    QCOMPARE(s.radiusX, 30);
    QCOMPARE(s.radiusY, 20);
    QCOMPARE(MaskAt(60, 40), std::uint8_t{255});
    QCOMPARE(MaskAt(89, 40), std::uint8_t{255});
    QCOMPARE(MaskAt(60, 59), std::uint8_t{255});
    QCOMPARE(MaskAt(31, 21), std::uint8_t{0});  // outside, near the box corner
    QCOMPARE(MaskAt(95, 40), std::uint8_t{0});
    QVERIFY(TheProgram().area.shownOutline.count > 0);
    QCOMPARE(TheProgram().images.current, image);

    // The outline is drawn over the picture in the line colours.
    QImage shot = view->grab().toImage();
    int outline = 0;
    for (int x = 0; x < shot.width(); ++x) {
      QRgb c = shot.pixel(x, 40);
      if (c == qRgb(255, 255, 255) || c == qRgb(0, 0, 0)) ++outline;
    }
    QVERIFY2(outline >= 2, qPrintable(QString::number(outline)));

    // SHIFT adds a second shape to the first.
    tools->Button(kAreaRectangle)->click();
    QTest::mousePress(view, Qt::LeftButton, Qt::ShiftModifier, QPoint(5, 5));
    QTest::mouseRelease(view, Qt::LeftButton, Qt::ShiftModifier, QPoint(10, 10));
    QCOMPARE(MaskAt(60, 40), std::uint8_t{255});
    QCOMPARE(MaskAt(5, 5), std::uint8_t{255});
  }

  void savedEightBitBitmapHoldsThePicture() {
    std::string out = dir.filePath(QStringLiteral("out.bmp")).toStdString();
    QCOMPARE(SaveImageFile(image, out, kSaveBitmap, kDepth8, 0, 75), 0);
    QFile file(QString::fromStdString(out));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray header = file.read(30);
    QCOMPARE(static_cast<int>(header[28]), 8);  // bits per pixel
    std::string path = out;
    ImageRecord* back = LoadImageFile(nullptr, path);
    QVERIFY(back);
    QCOMPARE(back->width, image->width);
    QCOMPARE(back->height, image->height);
    // Reduced to 256 colours (and dithered), the picture stays close on
    // average, and the drawn area did not leak into the pixels.
    LockImage(back);
    LockImage(image);
    long long error = 0;
    for (int y = 0; y < image->height; ++y)
      for (int x = 0; x < image->width; ++x)
        for (int c = 0; c < 3; ++c) error += std::abs(PixelAt(back, x, y)[c] - PixelAt(image, x, y)[c]);
    UnlockImage(image);
    UnlockImage(back);
    FreeImage(back);
    double mean = static_cast<double>(error) / (image->width * image->height * 3);
    QVERIFY2(mean <= 24.0, qPrintable(QString::number(mean)));
  }

  void closingTheLastViewOfAChangedImageAsksToSave() {
    image->changed = 1;
    // Answer the "AskSave" dialog with Cancel: the view stays.
    QTimer::singleShot(0, [] {
      QWidget* dialog = QApplication::activeModalWidget();
      QVERIFY(dialog);
      QCOMPARE(dialog->objectName(), QStringLiteral("AskSave"));
      for (QAbstractButton* b : dialog->findChildren<QAbstractButton*>())
        if (b->text().contains(QStringLiteral("Cancel"))) b->click();
    });
    sub->close();
    QCOMPARE(window->DocumentArea()->subWindowList().size(), 1);
    QCOMPARE(ImageCount(), 1);
    image->changed = 0;
    sub->close();
    QTRY_COMPARE(window->DocumentArea()->subWindowList().size(), 0);
    QCOMPARE(ImageCount(), 0);
  }

  void cleanupTestCase() {
    host->SetWindow(nullptr);
    delete window;
    ResetProgram();
  }

 private:
  QTemporaryDir dir;
  std::string bmpPath;
  ui::QtHost* host = nullptr;
  ui::MainWindow* window = nullptr;
  ImageRecord* image = nullptr;
  ui::ViewSubWindow* sub = nullptr;
  ui::ViewWindow* view = nullptr;
};

QTEST_MAIN(ViewWindowTest)
#include "view_window_test.moc"
