// The option dialogs of the menus and the area toolbox, opened through the
// commands and answered offscreen.
#include <QAbstractButton>
#include <QCheckBox>
#include <QColorDialog>
#include <QFontDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTreeWidget>

#include "app/commands.h"
#include "area/area_mask.h"
#include "area/ui/area_toolbox.h"
#include "display/ui/view_window.h"
#include "display/views.h"
#include "ops/apply.h"
#include "ops/op_state.h"
#include "store/image_record.h"
#include "ui/ui_test_support.h"

using namespace qv;

namespace {

// Runs a command whose modal dialog `answer` fills in; the dialog is
// accepted afterwards unless `answer` closed it. Returns the command's result.
int Answer(int command, std::function<void(QDialog*)> answer, bool accept = true) {
  bool seen = false;
  test::OnNextModal([&](QWidget* w) {
    auto* dialog = qobject_cast<QDialog*>(w);
    if (!dialog) return;
    seen = true;
    answer(dialog);
    if (dialog->isVisible()) accept ? dialog->accept() : dialog->reject();
  });
  int result = RouteCommand(command);
  if (!seen) qWarning("command %d showed no dialog", command);
  return result;
}

template <class T>
T* Child(QDialog* d, const char* name) {
  T* w = d->findChild<T*>(QString::fromLatin1(name));
  if (!w) qWarning("no child %s in %s", name, qPrintable(d->objectName()));
  return w;
}

void Type(QDialog* d, const char* field, const QString& text) {
  if (auto* e = Child<QLineEdit>(d, field)) e->setText(text);
}

void Press(QDialog* d, const QString& text) {
  for (QAbstractButton* b : d->findChildren<QAbstractButton*>())
    if (b->text() == text) b->click();
}

}  // namespace

class OptionDialogsTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() { QVERIFY(app.Start()); }

  void transparencyValuesAreClampedAndPresetsSetTheFade() {
    AreaSelection& s = TheProgram().area.selection;
    QString title;
    QCOMPARE(Answer(911, [&](QDialog* d) {
               title = d->windowTitle();
               Type(d, "Level", QStringLiteral("300"));
               Type(d, "Edge Fade", QStringLiteral("-5"));
               Type(d, "Grow", QStringLiteral("60"));
             }),
             0);
    QCOMPARE(title, QStringLiteral("Transparency Controls"));
    QCOMPARE(s.transparencyLevel, 255);
    QCOMPARE(s.edgeFade, 0);
    QCOMPARE(s.grow, 60);

    // A preset keeps what was typed in the other fields; the bars follow.
    int barValue = -1;
    QCOMPARE(Answer(911, [&](QDialog* d) {
               Type(d, "Level", QStringLiteral("100"));
               Press(d, QStringLiteral("Conical Fade"));
               barValue = Child<QScrollBar>(d, "Edge Fade bar")->value();
             }),
             0);
    QCOMPARE(barValue, 100);
    QCOMPARE(s.edgeFade, 100);
    QCOMPARE(s.transparencyLevel, 100);

    QCOMPARE(Answer(911, [&](QDialog* d) { Type(d, "Grow", QStringLiteral("5")); }, false), 2);
    QCOMPARE(s.grow, 60);

    // The preview is the mask the values give: a flat rectangle at the level.
    s.mode = kAreaRectangle;
    QImage picture;
    Answer(911, [&](QDialog* d) {
      Press(d, QStringLiteral("Flat"));
      Type(d, "Level", QStringLiteral("128"));
      Type(d, "Grow", QStringLiteral("100"));
      Child<QLineEdit>(d, "Level")->editingFinished();
      picture = Child<QLabel>(d, "Preview")->pixmap().toImage();
    });
    QCOMPARE(qGray(picture.pixel(picture.width() / 2, picture.height() / 2)), 128);
  }

  void splatterControlsEditTheSplatterSettings() {
    const SplatterSettings& sp = TheProgram().area.splat;
    QCOMPARE(Answer(912, [&](QDialog* d) {
               Child<QSpinBox>(d, "Number")->setValue(50);
               Child<QSpinBox>(d, "Sizing")->setValue(250);
               Press(d, QStringLiteral("Rectangles"));
               Press(d, QStringLiteral("Hold square"));  // on by default
               Press(d, QStringLiteral("In from Edge"));
             }),
             0);
    const std::array<int, 6> got{sp.number, sp.sizing, sp.shape, sp.holdSquare, sp.inFromEdge, sp.seed};
    QCOMPARE(got, (std::array<int, 6>{50, 250, 1, 0, 1, 9}));
  }

  void undoLevelsAreTakenFromTheTypedText() {
    QCOMPARE(Answer(205, [](QDialog* d) { Type(d, "UndoWant", QStringLiteral("4")); }, false), 2);
    QCOMPARE(TheProgram().undo.levels, 3);
    QCOMPARE(Answer(205, [](QDialog* d) { Type(d, "UndoWant", QStringLiteral(" 2 ")); }), 0);
    QCOMPARE(TheProgram().undo.levels, 2);
  }

  void workingMethodSwitches() {
    SetWorkMethod(kWorkImmediatePainting);
    QCOMPARE(Answer(123, [](QDialog* d) { Press(d, QStringLiteral("Draw First")); }), 0);
    QVERIFY(DrawFirst());
    QCOMPARE(Answer(123, [](QDialog* d) { Press(d, QStringLiteral("Immediate Painting")); }, false), 2);
    QVERIFY(DrawFirst());
    QCOMPARE(Answer(123, [](QDialog* d) { Press(d, QStringLiteral("Immediate Painting")); }), 0);
    QVERIFY(!DrawFirst());
  }

  void displayInformationShowsTheDocumentedTexts() {
    // Each case: the screen, then bits, palette depth, colours, mode as shown.
    const std::pair<ScreenInfo, QStringList> cases[] = {
        {{16, 1, 0, 800, 600}, {"  16", "  18", "65,536", "RGB 16-bit"}},
        {{24, 1, 8, 1280, 1024}, {"  24", "  24", "16.8 million", "RGB 24-bit"}},
    };
    ScreenInfo kept = TheProgram().display.screen;
    for (const auto& [screen, expected] : cases) {
      TheProgram().display.screen = screen;
      QStringList shown;
      Answer(632, [&](QDialog* d) {
        for (const char* name : {"Bits per pixel:", "Palette depth:", "Colors", "Recommended", "Width:"})
          shown << Child<QLabel>(d, name)->text();
      });
      QCOMPARE(shown, expected + QStringList{QStringLiteral("%1").arg(screen.width, 4)});
    }
    TheProgram().display.screen = kept;
  }

  void memoryInfoListsThePlacesInUse() {
    QString places;
    QStringList tags;
    QCOMPARE(Answer(707, [&](QDialog* d) {
               places = Child<QLabel>(d, "Places")->text();
               auto* tree = Child<QTreeWidget>(d, "Tags");
               for (int i = 0; i < tree->topLevelItemCount(); ++i) tags << tree->topLevelItem(i)->text(0);
             }),
             0);
    QVERIFY(places.startsWith(QString::number(TheProgram().memory.placesInUse) + QStringLiteral(" in use")));
    QVERIFY(tags.contains(QStringLiteral("thei")));  // the image table, by its tag's 4 characters
  }

  void areaMenuOpensTheToolboxDialogs() {
    QString title;
    QCOMPARE(Answer(618, [&](QDialog* d) {
               title = d->windowTitle();
               Child<QSpinBox>(d, "Roundness")->setValue(75);
             }),
             0);
    QCOMPARE(title, QStringLiteral("Rounded Rectangle Roundness"));
    QCOMPARE(TheProgram().area.selection.roundness, 75);

    QCOMPARE(Answer(620, [&](QDialog* d) { d->findChildren<QSpinBox*>().first()->setValue(200); }), 0);
    QCOMPARE(GetKeyColour().red, 200);  // the key colour Key In shares

    QString family;
    QCOMPARE(Answer(619, [&](QDialog* d) {
               auto* fonts = qobject_cast<QFontDialog*>(d);
               QVERIFY(fonts);
               QFont f = fonts->currentFont();
               f.setPointSize(30);
               fonts->setCurrentFont(f);
               family = fonts->currentFont().family();
             }),
             0);
    const AreaFont& font = TheProgram().area.selection.font;
    QCOMPARE(QString::fromStdString(font.face), family);
    QCOMPARE(font.pixelSize, 40);  // 30 points at 96 pixels per inch
  }

  void toolboxOpensTheColourDiscriminator() {
    QCOMPARE(RouteCommand(616), 0);
    ui::AreaToolbox* tools = app.host->Toolbox();
    QVERIFY(tools && tools->Button(9782));
    QString title;
    test::OnNextModal([&](QWidget* w) {
      auto* d = qobject_cast<QDialog*>(w);
      title = d->windowTitle();
      Press(d, QStringLiteral("Enabled"));
      Child<QSpinBox>(d, "Red from")->setValue(200);
      Child<QSpinBox>(d, "Red to")->setValue(10);
      Child<QSpinBox>(d, "Blue to")->setValue(255);
      d->accept();
    });
    tools->Button(9782)->click();
    QCOMPARE(title, QStringLiteral("Color Discriminator"));
    const ColourDiscriminator& cd = TheProgram().area.discriminator;
    QVERIFY(cd.enabled);
    QCOMPARE(cd.from[0], 200);
    QCOMPARE(cd.to[0], 10);
    QCOMPARE(cd.to[2], 255);
  }

  void sizeWindowsRefitsTheViewsWhenAspectIsSwitchedOn() {
    Settings& s = TheProgram().settings;
    s.keepAspect = 0;
    ImageRecord* image = CreateImage(100, 100, "test");
    AddImage(image, true);
    std::vector<ViewRecord*> views = ViewsOf(image);
    QCOMPARE(views.size(), std::size_t{1});
    QMdiSubWindow* sub = app.host->SubWindowOf(views[0]);
    QVERIFY(sub);
    sub->resize(420, 120);
    QWidget* client = sub->widget();
    QTRY_VERIFY(client->width() > 2 * client->height());

    // Off stays off: nothing is re-fitted.
    QCOMPARE(Answer(361, [](QDialog* d) { Child<QSpinBox>(d, "Width")->setValue(300); }), 0);
    QCOMPARE(s.view.width, 300);
    QVERIFY(client->width() > 2 * client->height());

    QCOMPARE(Answer(361, [](QDialog* d) { Press(d, QStringLiteral("Maintain Aspect Ratio")); }), 0);
    QCOMPARE(s.keepAspect, 1);
    QTRY_VERIFY(qAbs(client->width() - client->height()) <= 2);
    image->changed = 0;
    CloseView(views[0]);
  }

  // Cancel leaves every image the dialog showed as it was, not only the
  // last one picked; an image that no longer has alpha is shown unblended.
  void changeImageInfoCancelsEveryEditAndAlphaRedraws() {
    ImageRecord* first = CreateLockedImage(8, 8, "test");
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) {
        std::uint8_t* p = PixelAt(first, x, y);
        p[0] = 200, p[1] = 100, p[2] = 50, p[3] = 0;  // all transparent
      }
    UnlockImage(first);
    std::snprintf(first->name, sizeof first->name, "first");
    first->hasAlpha = 1;
    ImageRecord* second = CreateImage(8, 8, "test");
    std::snprintf(second->name, sizeof second->name, "second");
    AddImage(first, true);
    AddImage(second, false);
    TheProgram().display.alphaBack = 1;
    auto* view = dynamic_cast<ui::ViewWindow*>(app.host->SubWindowOf(ViewsOf(first)[0])->View());
    QVERIFY(view);
    view->repaint();
    QCOMPARE(view->Bitmap().pixel(4, 4), qRgb(0, 0, 255));  // all alpha colour

    const int rowOfFirst = ImageIndex(first), rowOfSecond = ImageIndex(second);
    QCOMPARE(Answer(708, [&](QDialog* d) {
               auto* list = d->findChild<QListWidget*>();
               list->setCurrentRow(rowOfFirst);
               Type(d, "name", QStringLiteral("renamed first"));
               Press(d, QStringLiteral("Image Has Alpha"));
               list->setCurrentRow(rowOfSecond);
               Type(d, "name", QStringLiteral("renamed second"));
             }, false),
             2);
    QCOMPARE(QString::fromUtf8(first->name), QStringLiteral("first"));
    QCOMPARE(QString::fromUtf8(second->name), QStringLiteral("second"));
    QCOMPARE(first->hasAlpha, std::int16_t{1});

    QCOMPARE(Answer(708, [&](QDialog* d) {
               d->findChild<QListWidget*>()->setCurrentRow(rowOfFirst);
               Press(d, QStringLiteral("Image Has Alpha"));
             }),
             0);
    QCOMPARE(first->hasAlpha, std::int16_t{0});
    view->repaint();
    QCOMPARE(view->Bitmap().pixel(4, 4), qRgb(200, 100, 50));
    first->changed = second->changed = 0;
    RemoveImage(second);
    RemoveImage(first);
  }

  // AlphaColor and BackColor are chosen in the View Colors dialog.
  void viewColoursHoldTheAlphaAndBackColours() {
    DisplayState& display = TheProgram().display;
    for (const char* button : {"Alpha Color", "Back Color"}) {
      Answer(364, [&](QDialog* d) {
        QTimer::singleShot(0, [] {
          auto* chooser = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
          if (!chooser) return;
          chooser->setCurrentColor(QColor(11, 22, 33));
          chooser->accept();
        });
        Press(d, QString::fromLatin1(button));
      });
    }
    QCOMPARE(display.alphaColour, (std::array<std::uint8_t, 3>{11, 22, 33}));
    QCOMPARE(display.backColour, (std::array<std::uint8_t, 3>{11, 22, 33}));
  }

  void cleanupTestCase() { app.Stop(); }

 private:
  test::UiProgram app;
};

QTEST_MAIN(OptionDialogsTest)
#include "option_dialogs_test.moc"
