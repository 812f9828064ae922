// A person's path through the program, offscreen: open a bitmap, see it in a
// view, zoom, draw an ellipse with the toolbox's Ellipse, apply an effect to
// it, undo and redo it, save the result, scroll a zoomed view.
#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>
#include <span>

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
#include "formats/ui/save_dialog.h"
#include "ops/apply.h"
#include "ops/op_menu.h"
#include "ops/perspective_handles.h"
#include "ops/ui/chronograph_window.h"
#include "store/image_record.h"

using namespace qv;

namespace {

constexpr int kContrast = 3181;
constexpr int kShowChronograph = 119;
constexpr int kUndoButton = 9714;
constexpr int kDeUndoButton = 9716;
constexpr int kSaveImageAs = 111;

// The Qt host, noting every band handed to a view.
class BandHost : public ui::QtHost {
 public:
  struct Band {
    int startRow, rowCount;
  };
  std::vector<Band> bands;
  void ShowViewRows(ViewRecord* view, std::span<const std::uint8_t> dib, int startRow, int rowCount) override {
    bands.push_back({startRow, rowCount});
    QtHost::ShowViewRows(view, dib, startRow, rowCount);
  }
};

void DragEllipse(QWidget* view, QPoint centre, QPoint corner) {
  QTest::mousePress(view, Qt::LeftButton, {}, centre);
  QTest::mouseMove(view, corner);
  QTest::mouseRelease(view, Qt::LeftButton, {}, corner);
}

// The image's pixels, red, green and blue.
std::vector<std::uint8_t> PixelsRgb(ImageRecord* image) {
  std::vector<std::uint8_t> out;
  LockImage(image);
  for (int y = 0; y < image->height; ++y)
    for (int x = 0; x < image->width; ++x) out.insert(out.end(), PixelAt(image, x, y), PixelAt(image, x, y) + 3);
  UnlockImage(image);
  return out;
}

std::vector<std::uint8_t> RgbOfFile(const std::string& path) {
  std::string name = path;
  ImageRecord* image = LoadImageFile(nullptr, name);
  if (!image) return {};
  std::vector<std::uint8_t> out = PixelsRgb(image);
  FreeImage(image);
  return out;
}

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
    host = &InstallHost<BandHost>();
    QCOMPARE(StartUp(), 1);
    TheProgram().display.mode = kModeRgb24;
    // Selections wait for an effect to be chosen.
    SetWorkMethod(kDrawFirst);
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

    // A full render pairs every lock of the view's DIB with one unlock: the
    // log's memory report has nothing to say about it.
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    OpenLog(true);
    view->Record()->reRender = 1;
    view->repaint();
    CloseLog();
    QFile log(QString::fromLatin1(kLogFileName));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray text = log.readAll();
    QVERIFY(QDir::setCurrent(before));
    QVERIFY2(!text.contains("Unlock"), text.constData());

    // The status line tells the pixel under the mouse; the empty document
    // area clears it.
    auto* status = window->findChild<QLabel*>(QStringLiteral("statusText"));
    QVERIFY(status);
    QTest::mouseMove(view, QPoint(60, 9));
    LockImage(image);
    const std::uint8_t* px = PixelAt(image, 60, 9);
    const QString expected = QStringLiteral("X 60  Y 9    R %1  G %2  B %3  A 255").arg(px[0]).arg(px[1]).arg(px[2]);
    UnlockImage(image);
    QTRY_COMPARE(status->text(), expected);
    QWidget* empty = window->DocumentArea()->viewport();
    QTest::mouseMove(empty, QPoint(empty->width() - 5, empty->height() - 5));
    QTRY_COMPARE(status->text(), QString());
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
    window->ActionOf(kCommandMagnify)->trigger();
    QCOMPARE(TheProgram().views.tool, ViewTool::Magnify);
    // Every view shows the magnifier while the zoom waits for its drag.
    QCOMPARE(v2->cursor().shape(), Qt::BitmapCursor);
    QCOMPARE(view->cursor().shape(), Qt::BitmapCursor);
    QTest::mousePress(v2, Qt::LeftButton, {}, QPoint(30, 20));
    QTest::mouseRelease(v2, Qt::LeftButton, {}, QPoint(90, 60));
    QCOMPARE(v2->cursor().shape(), Qt::CrossCursor);
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

  void contrastChosenOverTheEllipseChangesItsBandOnly() {
    // The chronograph is asked for first; it times what follows.
    TheProgram().settings.chron = {100000, 30, 0, 0};
    window->ActionOf(kShowChronograph)->trigger();
    ui::ChronographWindow* chron = ui::FindChronograph(window);
    QVERIFY(chron && chron->isVisible());
    QCOMPARE(chron->windowTitle(), QStringLiteral("Chronograph"));
    QCOMPARE(chron->ClientPosition(), QPoint(0, 30));  // x beyond the client went back to 0
    QFontMetrics fm(chron->font());
    QCOMPARE(chron->width(), fm.horizontalAdvance(QStringLiteral("Elapsed: Apply canvas")) + 20);
    QCOMPARE(chron->ValueColumn(), fm.horizontalAdvance(QStringLiteral("Elapsed: ")) + 5);

    // A fresh ellipse replaces the shapes drawn so far.
    host->Toolbox()->Button(kAreaEllipse)->click();
    DragEllipse(view, {60, 40}, {90, 60});
    QCOMPARE(MaskAt(5, 5), std::uint8_t{0});
    QCOMPARE(image->changed, 0);  // Draw First: nothing applied yet
    view->repaint();
    const QImage before = view->Bitmap();
    original = PixelsRgb(image);
    host->bands.clear();

    QAction* contrast = window->ActionOf(kContrast);
    QVERIFY(contrast);
    contrast->trigger();  // chosen from the Operations menu
    QCOMPARE(image->changed, 1);
    QCOMPARE(static_cast<int>(host->bands.size()), 1);
    QCOMPARE(host->bands[0].startRow, 80 - 61 - 1);  // rows 19..61: the ellipse's 20..60 and one more
    QCOMPARE(host->bands[0].rowCount, 43);
    QCOMPARE(view->Record()->reRender, std::uint16_t{0});  // the rest was not rendered again
    QVERIFY(TheProgram().area.shownOutline.count > 0);  // Draw First keeps the outline

    view->repaint();
    changedPicture = view->Bitmap();
    int inside = 0, changedInside = 0;
    LockImage(image);
    for (int y = 0; y < 80; ++y)
      for (int x = 0; x < 120; ++x) {
        const std::uint8_t* px = PixelAt(image, x, y);
        // What is shown is the picture as it is now...
        QCOMPARE(changedPicture.pixel(x, y), qRgb(px[0], px[1], px[2]));
        // ...changed only where the ellipse is.
        bool differs = changedPicture.pixel(x, y) != before.pixel(x, y);
        if (MaskAt(x, y) == 0) {
          QVERIFY2(!differs, qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
        } else {
          ++inside;
          changedInside += differs;
        }
      }
    UnlockImage(image);
    QVERIFY2(changedInside * 2 > inside, qPrintable(QStringLiteral("%1 of %2").arg(changedInside).arg(inside)));

    // The chronograph shows what ran and when.
    QCOMPARE(chron->Value(0), QStringLiteral("Contrast"));
    static const QRegularExpression time(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d$"));
    for (int line = 1; line < 4; ++line) QVERIFY2(time.match(chron->Value(line)).hasMatch(), qPrintable(chron->Value(line)));
    QImage shot = chron->grab().toImage();
    QCOMPARE(shot.pixel(shot.width() - 2, shot.height() - 2), qRgb(0x7F, 0x7F, 0x7F));
    window->ActionOf(kShowChronograph)->trigger();
    QVERIFY(!chron->isVisible());
    QCOMPARE(ui::ChronographPlace({-1, 500}, QSize(400, 300)), QPoint(0, 0));
    QCOMPARE(ui::ChronographPlace({340, 240}, QSize(400, 300)), QPoint(340, 240));

    // Undo from the tool bar gives the picture back; De-Undo the change.
    QWidget* undo = window->ToolButtonOf(kUndoButton);
    QVERIFY(undo && undo->isEnabled());
    QTest::mouseClick(undo, Qt::LeftButton);
    QCOMPARE(PixelsRgb(image), original);
    QCOMPARE(image->changed, 0);
    view->repaint();
    QCOMPARE(view->Bitmap(), before);
    QWidget* deUndo = window->ToolButtonOf(kDeUndoButton);
    QVERIFY(deUndo && deUndo->isEnabled());
    QTest::mouseClick(deUndo, Qt::LeftButton);
    view->repaint();
    QCOMPARE(view->Bitmap(), changedPicture);
    QCOMPARE(image->changed, 1);
  }

  void savedThroughTheDialogAsTheEngineWouldMakeIt() {
    const QString base = dir.filePath(QStringLiteral("applied"));
    QTimer::singleShot(0, [base] {
      auto* d = dynamic_cast<ui::SaveImageDialog*>(QApplication::activeModalWidget());
      QVERIFY(d);
      d->SelectType(kSaveBitmap);
      int eight = -1;
      for (std::size_t i = 0; i < d->DepthEntries().size(); ++i)
        if (d->DepthEntries()[i] == kDepth8) eight = static_cast<int>(i);
      QVERIFY(eight >= 0);
      d->DepthList()->setCurrentIndex(eight);
      d->NameEdit()->setText(base);
      d->accept();
    });
    window->ActionOf(kSaveImageAs)->trigger();
    const std::string saved = (base + QStringLiteral(".bmp")).toStdString();
    QVERIFY(QFile::exists(QString::fromStdString(saved)));
    QCOMPARE(image->changed, 0);

    // The same ellipse and Contrast through the engine alone, on the file as
    // it was opened, written by the same 8-bit writer.
    std::string opened = bmpPath;
    ImageRecord* ref = LoadImageFile(nullptr, opened);
    QVERIFY(ref);
    QCOMPARE(PixelsRgb(ref), original);
    AddImage(ref, false);
    AreaSelection& s = TheProgram().area.selection;
    s.mode = kAreaEllipse;
    s.centreX = 60, s.centreY = 40, s.radiusX = 30, s.radiusY = 20;
    s.left = 30, s.right = 90, s.top = 20, s.bottom = 60;
    QCOMPARE(BuildAreaMask(ref, -1), 0);
    QCOMPARE(ApplyOperation(kContrast, ref, -1), 0);
    QCOMPARE(PixelsRgb(ref), PixelsRgb(image));
    const std::string expected = dir.filePath(QStringLiteral("expected.bmp")).toStdString();
    QCOMPARE(SaveImageFile(ref, expected, kSaveBitmap, kDepth8, 0, 75), 0);
    ref->changed = 0;
    QCOMPARE(RemoveImage(ref), 0);
    std::vector<std::uint8_t> written = RgbOfFile(saved);
    QVERIFY(!written.empty());
    QVERIFY(written == RgbOfFile(expected));
    // The saved picture is the changed one, not the one first opened.
    QVERIFY(written != RgbOfFile(bmpPath));
  }

  void scrollBarsMoveAZoomedViewOncePerGesture() {
    QScrollBar* across = sub->ScrollBar(false);
    QScrollBar* down = sub->ScrollBar(true);
    QVERIFY(across->isHidden() && down->isHidden());
    QCOMPARE(RouteCommand(kCommandMagnify), 0);
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(30, 20));
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(60, 40));
    ViewRecord* r = view->Record();
    QCOMPARE(r->zoomKind, kZoomIn);
    QVERIFY(!across->isHidden() && !down->isHidden());
    QTRY_VERIFY(across->width() > 60);
    view->repaint();
    QCOMPARE(r->reRender, std::uint16_t{0});
    QCOMPARE(across->value(), ScrollPosition(*r, false));

    // The right arrow: the region moves with the press, the picture only
    // when the button is let go.
    const int left = r->left, shown = r->right - r->left;
    const QPoint arrow(across->width() - 4, across->height() / 2);
    QImage picture = view->Bitmap();
    QTest::mousePress(across, Qt::LeftButton, {}, arrow);
    QCOMPARE(r->left, left + (shown + 7) / 8);
    view->repaint();
    QCOMPARE(view->Bitmap(), picture);
    QTest::mouseRelease(across, Qt::LeftButton, {}, arrow);
    view->repaint();
    QVERIFY(view->Bitmap() != picture);
    QCOMPARE(across->value(), ScrollPosition(*r, false));

    // Dragging the thumb moves nothing until it is released.
    const int top = r->top, high = r->bottom - r->top;
    picture = view->Bitmap();
    down->setSliderDown(true);
    down->setSliderPosition(1000);
    QCOMPARE(r->top, top);
    view->repaint();
    QCOMPARE(view->Bitmap(), picture);
    down->setSliderDown(false);
    QCOMPARE(r->top, 80 - high);
    view->repaint();
    QVERIFY(view->Bitmap() != picture);

    QCOMPARE(RouteCommand(kCommandDemagnify), 0);
    QCOMPARE(r->zoomKind, kZoomNone);
    QVERIFY(across->isHidden() && down->isHidden());
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

  // The close box clicked while an effect runs: the view, its image and the
  // work all go on, and the person is told why.
  void closingAViewWhileAnEffectRunsIsRefused() {
    QStringList shown;
    QTimer::singleShot(0, [this, &shown] {
      QTimer::singleShot(0, [&shown] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog) return;
        for (QLabel* l : dialog->findChildren<QLabel*>()) shown << l->text();
        for (QAbstractButton* b : dialog->findChildren<QAbstractButton*>())
          if (b->text() == QStringLiteral("&OK")) b->click();
      });
      sub->close();
    });
    const int changes = image->changed;
    QCOMPARE(Apply(kContrast, ViewIndexOf(view->Record())), 0);
    QVERIFY2(shown.contains(QStringLiteral("This cannot be done while an operation is in progress.")),
             qPrintable(shown.join('|')));
    QCOMPARE(window->DocumentArea()->subWindowList().size(), 1);
    QCOMPARE(ImageCount(), 1);
    QCOMPARE(view->Record()->image, image);
    QCOMPARE(image->changed, changes + 1);
    view->repaint();
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

  // "Remove Other Images" takes the other images' windows with them; what
  // stays repaints without touching freed pixels.
  void removedImagesTakeTheirWindows() {
    QCOMPARE(OpenFile(bmpPath), 0);
    QCOMPARE(OpenFile(bmpPath), 0);
    QCOMPARE(ImageCount(), 2);
    ImageRecord* kept = ImageAt(0);
    TheProgram().images.currentAction = kept;
    TheProgram().views.action = nullptr;
    QCOMPARE(Apply(kRemoveOtherImages, 0), 0);
    QCOMPARE(ImageCount(), 1);
    QTRY_COMPARE(window->DocumentArea()->subWindowList().size(), 1);
    auto* left = dynamic_cast<ui::ViewSubWindow*>(window->DocumentArea()->subWindowList()[0]);
    QVERIFY(left);
    QCOMPARE(left->View()->Record()->image, kept);
    left->View()->repaint();
    left->close();
    QTRY_COMPARE(window->DocumentArea()->subWindowList().size(), 0);
  }

  // Perspective's handles: drawn over the action view, dragged to move the
  // picture, gone once another operation is chosen.
  void perspectiveHandlesAreDrawnAndDragged() {
    QCOMPARE(OpenFile(bmpPath), 0);
    QTRY_COMPARE(window->DocumentArea()->subWindowList().size(), 1);
    auto* frame = dynamic_cast<ui::ViewSubWindow*>(window->DocumentArea()->subWindowList()[0]);
    QVERIFY(frame);
    ui::ViewWindow* v = frame->View();
    QTRY_COMPARE(v->size(), QSize(120, 80));
    SetWorkMethod(kImmediatePainting);
    TheProgram().ops.current = 3136;
    ResetParamValues();
    ShowPerspectiveHandles(v->Record());
    v->repaint();  // rendered before it is grabbed
    // The handles are white; the picture never is (its green is 40 or 200).
    const Rgb line = TheProgram().settings.lineHandle;
    const QRgb handle = qRgb(line.red, line.green, line.blue);
    QCOMPARE(handle, qRgb(255, 255, 255));
    // The centre's ring, four pixels around (x, 40).
    auto ringAt = [&](int x) {
      const QImage shot = v->grab().toImage();
      for (QPoint p : {QPoint(x - 4, 40), QPoint(x - 3, 40), QPoint(x + 3, 40), QPoint(x + 4, 40), QPoint(x, 36),
                       QPoint(x, 37), QPoint(x, 43), QPoint(x, 44)})
        if (shot.pixel(p) == handle) return true;
      return false;
    };
    QVERIFY(ringAt(60));
    QVERIFY(!ringAt(100));
    const int selectionMode = TheProgram().area.selection.mode;

    // The centre dragged 40 pixels right: "X Dist" 40 x 2 x 480 / 120.
    QTest::mousePress(v, Qt::LeftButton, {}, QPoint(61, 41));
    QTest::mouseMove(v, QPoint(80, 41));
    QTest::mouseMove(v, QPoint(101, 41));
    QTest::mouseRelease(v, Qt::LeftButton, {}, QPoint(101, 41));
    QCOMPARE(ParamValue(3136, 3), 320);
    QCOMPARE(TheProgram().area.selection.mode, selectionMode);  // no selection was drawn
    QVERIFY(ringAt(100));
    QVERIFY(!ringAt(60));

    // Another operation takes them away.
    QCOMPARE(SelectOperation(3133), 0);
    QCOMPARE(PerspectiveHandlesView(), nullptr);
    QVERIFY(!ringAt(100));
    SetWorkMethod(kDrawFirst);
    frame->close();
    QTRY_COMPARE(window->DocumentArea()->subWindowList().size(), 0);
  }

  void cleanupTestCase() {
    host->SetWindow(nullptr);
    delete window;
    ResetProgram();
  }

 private:
  QTemporaryDir dir;
  std::string bmpPath;
  BandHost* host = nullptr;
  ui::MainWindow* window = nullptr;
  ImageRecord* image = nullptr;
  std::vector<std::uint8_t> original;
  QImage changedPicture;
  ui::ViewSubWindow* sub = nullptr;
  ui::ViewWindow* view = nullptr;
};

QTEST_MAIN(ViewWindowTest)
#include "view_window_test.moc"
