// The Operations menu and the operation settings window, driven offscreen.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>

#include <QGroupBox>
#include <QMouseEvent>
#include <QSpinBox>

#include "app/commands.h"
#include "ops/apply.h"
#include "store/image_record.h"
#include "ops/colour_commands.h"
#include "ops/op_menu.h"
#include "ops/op_state.h"
#include "ops/ui/colour_controls.h"
#include "ops/ui/op_settings_window.h"
#include "ops/ui/profile_window.h"
#include "ui/ui_test_support.h"

using namespace qv;

class OpSettingsWindowTest : public QObject {
  Q_OBJECT

  ui::OpSettingsWindow* Settings() { return ui::FindOpSettingsWindow(app.window); }
  // From the menu where it can be chosen there; an effect not built yet the
  // way a TimeLine cell or a settings file brings it.
  ui::OpSettingsWindow* Choose(int id) {
    QAction* item = app.window->ActionOf(id);
    if (item->isEnabled())
      item->trigger();
    else
      SelectOperation(id);
    return Settings();
  }
  static void Type(QLineEdit* edit, const QString& text) {
    edit->setText(text);
    edit->setModified(true);
    Q_EMIT edit->editingFinished();
  }
  template <class T>
  T* Find(const char* name) {
    return Settings() ? Settings()->findChild<T*>(QLatin1String(name)) : nullptr;
  }
  void Click(const char* name) {
    auto* button = Find<QAbstractButton>(name);
    QVERIFY2(button, name);
    button->click();
  }

 private Q_SLOTS:
  void initTestCase() { QVERIFY(app.Start()); }

  void groupsHeadTheOperationsMenu() {
    QMenu* ops = app.window->MenuAt(static_cast<int>(Menu::Operations));
    const auto actions = ops->actions();
    QVERIFY(actions.size() > 11);
    // "&Load Op. Settings File..." holds the L, so the first group takes the next letter.
    QCOMPARE(actions[0]->text(), QStringLiteral("L&ighting Group"));
    QCOMPARE(actions[1]->text(), QStringLiteral("&Plasma Group"));
    int popups = 0;
    for (QAction* a : actions) popups += a->menu() ? 1 : 0;
    QCOMPARE(popups, 11);
    QCOMPARE(actions[0]->menu()->actions().at(0)->data().toInt(), 3111);
    // The menu's own items stay after the groups.
    QVERIFY(actions.contains(app.window->ActionOf(3997)));
    // A fresh system starts on an operation it can apply.
    QAction* current = app.window->ActionOf(static_cast<int>(CurrentOp()));
    QVERIFY(current->isChecked());
    QVERIFY(current->isEnabled());
  }

  void operationsNotBuiltAreGreyedInTheMenuAndTheWindow() {
    OpId missing = 0;
    for (const OpEntry& e : Catalogue()) {
      QCOMPARE(app.window->ActionOf(static_cast<int>(e.id))->isEnabled(), OperationAvailable(e.id));
      if (!missing && !OperationAvailable(e.id)) missing = e.id;
    }
    if (!missing) return;
    auto* apply = Choose(static_cast<int>(missing))->findChild<QPushButton*>(QStringLiteral("applyButton"));
    QVERIFY(apply && !apply->isEnabled());
    QVERIFY(apply->toolTip().contains(QStringLiteral("not available yet")));
    apply = Choose(3188)->findChild<QPushButton*>(QStringLiteral("applyButton"));
    QVERIFY(apply && apply->isEnabled());
  }

  void swirlOpensWithItsAngleRow() {
    ui::OpSettingsWindow* w = Choose(3133);
    QVERIFY(w && w->isVisible());
    QCOMPARE(w->windowTitle(), QStringLiteral("Swirl Settings"));
    QCOMPARE(CurrentOp(), 3133u);
    QVERIFY(app.window->ActionOf(3133)->isChecked());
    QVERIFY(app.window->ActionOf(3997)->isChecked());
    QCOMPARE(w->Rows().size(), std::size_t{1});
    const auto& row = w->Rows()[0];
    QCOMPARE(row.label->text(), QStringLiteral("Angle"));
    QCOMPARE(row.bar->minimum(), -360);
    QCOMPARE(row.bar->maximum(), 360);
    QCOMPARE(row.bar->value(), 100);

    Type(row.edit, QStringLiteral("999"));
    QCOMPARE(ParamValue(3133, 0), 360);
    QCOMPARE(row.bar->value(), 360);
    QCOMPARE(row.edit->text(), QStringLiteral("360"));
    // Steps go through the engine and stop at the range end.
    row.bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(ParamValue(3133, 0), 360);
    row.bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    QCOMPARE(ParamValue(3133, 0), 359);
    QCOMPARE(row.edit->text(), QStringLiteral("359"));
    Type(row.edit, QStringLiteral("no number"));
    QCOMPARE(ParamValue(3133, 0), 359);
  }

  void relabelledRowsSwitchesAndSwatches() {
    QCOMPARE(Choose(3131)->Rows()[0].label->text(), QStringLiteral("Distortion%"));
    // The same window now hosts Asterize: a swatch for the arm colour, switches as check boxes.
    ui::OpSettingsWindow* w = Choose(3111);
    QCOMPARE(w->windowTitle(), QStringLiteral("Asterize Settings"));
    QCOMPARE(w->Swatches().size(), std::size_t{1});
    const auto& rows = w->Rows();
    QVERIFY(rows[7].check && !rows[7].bar);  // "Center Spot"
    rows[7].check->click();
    QCOMPARE(ParamValue(3111, 7), 1);
    Type(rows[0].edit, QStringLiteral("12"));
    QVERIFY(w->Swatches()[0]->styleSheet().contains(QStringLiteral("rgb(12,64,255)")));
    QVERIFY(rows[0].trend->isEnabled());  // numbers have Trends now
    QCOMPARE(Choose(3187)->windowTitle(), QStringLiteral("Sample Contents"));
  }

  void namedChoicesAndContoursTwoSwatches() {
    // Shave's "Direction" and Add Images' "On Gray" are chosen by name.
    ui::OpSettingsWindow* w = Choose(3157);
    QComboBox* direction = w->Rows()[1].choice;
    QVERIFY(direction && !w->Rows()[1].bar);
    QCOMPARE(direction->itemText(2), QStringLiteral("Remove Vertical Features"));
    direction->activated(2);
    QCOMPARE(ParamValue(3157, 1), 2);
    QComboBox* mode = Choose(3163)->Rows()[0].choice;
    QVERIFY(mode);
    QCOMPARE(mode->itemText(0), QStringLiteral("Add and average"));
    QVERIFY(Choose(3163)->findChild<QComboBox*>(QStringLiteral("source6500")));
    // Contour: the line colour and the background colour.
    QCOMPARE(Choose(3159)->Swatches().size(), std::size_t{2});
  }

  void transitionKeepsItsPointFileBesideTheSourceCombo() {
    QVERIFY(Choose(3198)->findChild<QComboBox*>(QStringLiteral("source6500")));
    QVERIFY(Find<QPushButton>("browsePointFile"));
    QVERIFY(Find<QPushButton>("editInZelvane"));
    auto* box = Find<QLineEdit>("pointFile");
    QVERIFY(box);
    // A relative name is kept as the file it names now, for the companion.
    Type(box, QStringLiteral("warp.zpt"));
    QCOMPARE(QString::fromStdString(Ops().transitionPointFile), QDir::current().absoluteFilePath("warp.zpt"));
    QVERIFY(Ops().distortionPointFile.empty());
  }

  void enlargeRowsAreCoupled() {
    TheProgram().ops.oldWidth = 400;
    TheProgram().ops.oldHeight = 300;
    ui::OpSettingsWindow* w = Choose(3173);
    const auto& rows = w->Rows();
    QCOMPARE(ParamValue(3173, 5), 0);  // "Constant zoom" off: dimensions lead
    Type(rows[2].edit, QStringLiteral("1000"));
    QCOMPARE(ParamValue(3173, 0), 250);
    QCOMPARE(rows[0].edit->text(), QStringLiteral("250"));
  }

  void settingsFilesGoThroughTheButtons() {
    ui::OpSettingsWindow* w = Choose(3121);  // Motion Blur
    const QString file = app.Path(QStringLiteral("blur.qvs"));
    Type(w->Rows()[0].edit, QStringLiteral("77"));
    test::AnswerFileDialog(file);
    w->findChild<QPushButton*>(QStringLiteral("saveSettings"))->click();
    QVERIFY(QFile::exists(file));
    Type(w->Rows()[0].edit, QStringLiteral("5"));
    test::AnswerFileDialog(file);
    w->findChild<QPushButton*>(QStringLiteral("loadSettings"))->click();
    QCOMPARE(ParamValue(3121, 0), 77);
    QCOMPARE(Settings()->Rows()[0].edit->text(), QStringLiteral("77"));
  }

  void balanceButtonsSetTheTargetAndItsSwatch() {
    SetParamValue(3184, 0, 1);  // "Dynamic Range" on
    ui::OpSettingsWindow* w = Choose(3184);
    QVERIFY(w->Rows()[0].check->isChecked());
    Click("balanceWhite");
    QCOMPARE(ParamValue(3184, 0), 0);
    for (int k = 1; k <= 3; ++k) QCOMPARE(ParamValue(3184, k), 255);
    QVERIFY(!w->Rows()[0].check->isChecked());
    QCOMPARE(w->Rows()[2].edit->text(), QStringLiteral("255"));
    QVERIFY(w->Swatches()[0]->styleSheet().contains(QStringLiteral("rgb(255,255,255)")));

    Pipeline().colour.sample = {};
    Pipeline().colour.sample.red = 30;
    Pipeline().colour.sample.green = 60;
    Pipeline().colour.sample.blue = 120;
    Click("matchSample");
    QCOMPARE(w->Rows()[1].edit->text(), QStringLiteral("30"));
    QVERIFY(Find<QLabel>("sampleSwatch")->styleSheet().contains(QStringLiteral("rgb(30,60,120)")));
    Click("balanceGray");
    QCOMPARE(ParamValue(3184, 3), 70);

    // Immediate Painting: the button waits for the next Apply, pressed again it stops.
    auto* now = Find<QPushButton>("sampleNow");
    now->click();
    QVERIFY(BalancePickArmed() && now->isChecked());
    now->click();
    QVERIFY(!BalancePickArmed() && !now->isChecked());
  }

  void histogramMapCommandsAndTheMapWindow() {
    ColourOpsState& col = Pipeline().colour;
    col.histogram[0][0] = 100;
    col.histogram[0][255] = 100;
    ui::OpSettingsWindow* w = Choose(3185);
    QVERIFY(Find<ui::HistogramView>("histogramView"));
    QVERIFY(Find<QPushButton>("equalize")->isEnabled());

    Click("showMap");
    ui::ColourMapWindow* map = w->MapWindow();
    QVERIFY(map && map->isVisible());
    QCOMPARE(map->windowTitle(), QStringLiteral("Color Map"));
    // A stroke draws all three maps along the pointer's path.
    ui::MapCurve* curve = map->Curve();
    const QPoint from(curve->width() / 4, curve->height() / 4), to(curve->width() / 2, curve->height() * 3 / 4);
    QTest::mousePress(curve, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), curve->mapToGlobal(QPointF(to)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(curve, &move);
    QTest::mouseRelease(curve, Qt::LeftButton, {}, to);
    const QPoint a = curve->MapPointAt(from), b = curve->MapPointAt(to);
    QCOMPARE(int(col.histogramMap[1][a.x()]), a.y());
    QCOMPARE(int(col.histogramMap[2][b.x()]), b.y());
    const int mid = (a.x() + b.x()) / 2;
    QVERIFY(std::abs(col.histogramMap[0][mid] - (a.y() + b.y()) / 2) <= 2);

    Click("resetMap");
    QCOMPARE(int(col.histogramMap[0][mid]), mid);
    Click("equalize");  // half the counts at 0: everything below 255 maps to 127
    QCOMPARE(int(col.histogramMap[0][mid]), 127);
    QCOMPARE(int(col.histogramMap[1][mid]), mid);  // nothing gathered for green

    Find<QCheckBox>("independentRgb")->click();
    QVERIFY(!col.independentRgb);
    Click("resetMap");
    Find<QSpinBox>("mapContrast")->setValue(100);
    QCOMPARE(Find<QLabel>("mapMarkers")->text(), QStringLiteral("Markers 127, 128"));
    Click("applyAdjustments");
    QCOMPARE(int(col.histogramMap[2][127]), 0);
    QCOMPARE(int(col.histogramMap[2][128]), 255);
    Click("resetMap");
    QCOMPARE(Find<QSpinBox>("mapContrast")->value(), 0);

    // Leaving Histogram closes its map window.
    Choose(3181);
    QTRY_VERIFY(!w->MapWindow());
    col.histogram[0][0] = col.histogram[0][255] = 0;
    col.independentRgb = true;
  }

  void remapPaletteSizeIsClampedAndTheColumnFollows() {
    Choose(3189);
    auto* size = Find<QLineEdit>("paletteSize");
    auto* column = Find<ui::RemapColumn>("remapColumn");
    QVERIFY(size && column);
    QCOMPARE(column->RowCount(), 1);
    Type(size, QStringLiteral("5000"));
    QCOMPARE(RemapPaletteSize(), 1024);
    QCOMPARE(size->text(), QStringLiteral("1024"));
    QCOMPARE(column->RowCount(), 1024);
    Type(size, QStringLiteral("0"));
    QCOMPARE(size->text(), QStringLiteral("1"));
    Type(size, QStringLiteral("3"));
    Type(size, QStringLiteral("many"));
    QCOMPARE(RemapPaletteSize(), 3);
    QCOMPARE(size->text(), QStringLiteral("3"));
    QCOMPARE(column->RowCount(), 3);
    // A colour set elsewhere shows in its row's "To" swatch.
    SetRemapEntry(true, 2, {0, 200, 40});
    QApplication::processEvents();
    const QPoint swatch = column->SetButtonRect(2, true).translated(-44, 0).center();
    QCOMPARE(column->viewport()->grab().toImage().pixelColor(swatch), QColor(0, 200, 40));
  }

  void sampleAndColorizeShowTheirColours() {
    Choose(3187);
    Pipeline().colour.sample.red = 10;
    Pipeline().colour.sample.redRange = 4;
    RefreshSettingsDialog();  // what a finished Sample does
    QVERIFY(Find<QLabel>("sampleText")->text().contains(QStringLiteral("Red 10 %1 4").arg(QChar(0x00B1))));
    ui::OpSettingsWindow* w = Choose(3188);
    Type(w->Rows()[0].edit, QStringLiteral("120"));  // hue 120, saturation 100
    QVERIFY(Find<QLabel>("colorizeSwatch")->styleSheet().contains(QStringLiteral("rgb(0,255,0)")));
  }

  void applyButtonCallsTheApplyHook() {
    auto saved = TheProgram().ops.hooks.applyToCurrentView;
    TheProgram().ops.hooks.applyToCurrentView = nullptr;
    Choose(3181);
    QVERIFY(!Find<QPushButton>("applyButton")->isEnabled());
    int applied = 0;
    TheProgram().ops.hooks.applyToCurrentView = [&applied] { return ++applied, 0; };
    RefreshSettingsDialog();
    auto* apply = Find<QPushButton>("applyButton");
    QVERIFY(apply->isEnabled());
    apply->click();
    QCOMPARE(applied, 1);
    TheProgram().ops.hooks.applyToCurrentView = saved;
  }

  void controlsToggleAndCloseTogether() {
    QVERIFY(Settings());
    app.window->ActionOf(3997)->trigger();
    QVERIFY(!TheProgram().ops.showControls);
    QTRY_VERIFY(!Settings());
    app.window->ActionOf(3997)->trigger();
    QVERIFY(Settings() && Settings()->isVisible());
    // Closed by its frame, the window switches the controls off.
    Settings()->close();
    QVERIFY(!TheProgram().ops.showControls);
    app.window->UpdateCommands();
    QVERIFY(!app.window->ActionOf(3997)->isChecked());
  }

  // Operations that use a source list every loaded image; choosing one
  // makes it the source of the next apply.
  void sourceComboBoxChoosesTheSource() {
    const int before = ImageCount();
    for (int i = 0; i < 2; ++i) {
      ImageRecord* image = CreateImage(4, 4, "test");
      QVERIFY(image);
      std::snprintf(image->name, sizeof image->name, "map%d", i);
      QCOMPARE(AddImage(image, false), 0);
    }
    Choose(3128);  // Surface Warp
    auto* combo = Find<QComboBox>("source6500");
    QVERIFY(combo);
    QCOMPARE(combo->count(), before + 2);
    QCOMPARE(combo->itemText(before + 1), QStringLiteral("map1"));
    combo->setCurrentIndex(before + 1);
    Q_EMIT combo->activated(before + 1);
    QCOMPARE(Pipeline().source, ImageAt(before + 1));
    Choose(3181);  // Contrast uses no source
    QVERIFY(!Find<QComboBox>("source6500"));
    Pipeline().source = nullptr;
    while (ImageCount() > before) RemoveImage(ImageAt(ImageCount() - 1));
  }

  void lightingPresetsSwatchesAndProfileWindow() {
    ui::OpSettingsWindow* w = Choose(3111);
    QVERIFY(Find<QLabel>("edgeSwatch") && Find<QLabel>("peakSwatch"));
    // Center Saturation 0: a white peak; the edge is the arm colour.
    SetParamValue(3111, 3, 0);
    w->Refresh();
    QVERIFY(Find<QLabel>("peakSwatch")->styleSheet().contains(QStringLiteral("rgb(255,255,255)")));
    const QString arm = QStringLiteral("rgb(%1,%2,%3)").arg(ParamValue(3111, 0)).arg(ParamValue(3111, 1)).arg(ParamValue(3111, 2));
    QVERIFY(Find<QLabel>("edgeSwatch")->styleSheet().contains(arm));
    Click("editProfile");
    ui::ProfileWindow* profile = w->Profile();
    QVERIFY(profile && profile->isVisible());
    QCOMPARE(profile->windowTitle(), QStringLiteral("Asterize Arm Profile"));
    // A preset refreshes the rows; a stroke draws the profile.
    Click("preset2");  // "Hex Lens"
    QCOMPARE(ParamValue(3111, 6), 6);
    QCOMPARE(Find<QLineEdit>("edit6")->text(), QStringLiteral("6"));
    ui::MapCurve* curve = profile->Curve();
    const QPoint at(curve->width() / 2, curve->height() - 3);
    QTest::mousePress(curve, Qt::LeftButton, {}, at);
    QTest::mouseRelease(curve, Qt::LeftButton, {}, at);
    const QPoint point = curve->MapPointAt(at);
    QCOMPARE(int(FindProfile(ProfileId::Arm)[point.x()]), point.y());
    QVERIFY(point.y() < 10);
    // Leaving the operation closes the window.
    Choose(3112);
    QTRY_VERIFY(!w->Profile());
    Click("editProfile");
    QCOMPARE(w->Profile()->windowTitle(), QStringLiteral("Annular Radial Profile"));
    Choose(3146);
    QVERIFY(Find<QPushButton>("editPalette"));
  }

  void cleanupTestCase() { app.Stop(); }

 private:
  test::UiProgram app;
};

QTEST_MAIN(OpSettingsWindowTest)
#include "op_settings_window_test.moc"
