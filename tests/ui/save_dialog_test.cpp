// The image save dialog and the save commands, driven offscreen.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>

#include "formats/image_files.h"
#include "formats/save_choices.h"
#include "formats/ui/save_dialog.h"
#include "store/image_record.h"
#include "ui/ui_test_support.h"

using namespace qv;

namespace {

QStringList Items(QComboBox* box) {
  QStringList out;
  for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
  return out;
}

SaveImageRequest Request(int type, int chopMem) {
  SaveImageRequest r;
  r.title = "Save Image As";
  r.name = "picture.tga";
  r.type = type;
  r.depthEntry = 24;
  r.compress = 1;
  r.quality = 60;
  r.chopMem = chopMem;
  return r;
}

}  // namespace

class SaveDialogTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() { QVERIFY(app.Start()); }

  void typeChangeRebuildsTheDepthsAndTheName() {
    ui::SaveImageDialog d(app.window, Request(kSaveTarga, 0));
    QCOMPARE(d.nameFilters().size(), 11);  // no GIF without ChopMem
    QCOMPARE(d.nameFilters().at(2), QStringLiteral("IFF/ILBM for Amiga (*.IFF)"));
    QCOMPARE(Items(d.DepthList()), QStringList{QStringLiteral("24/32-bit with Alpha")});
    QVERIFY(!d.CompressBox()->isEnabled());
    d.SelectType(kSaveToasterFs);
    QCOMPARE(d.NameEdit()->text(), QStringLiteral("picture.fs"));
    QCOMPARE(Items(d.DepthList()), QStringList{QStringLiteral("16-bit 32k/64k colors")});
    QVERIFY(d.CompressBox()->isEnabled());
    d.SelectType(kSaveBitmap);
    QCOMPARE(d.DepthList()->count(), 6);
    // The stored default SaveDepth 24 is no entry: the fullest depth, not
    // "1-bit 2 colors".
    QCOMPARE(d.DepthList()->currentText(), QStringLiteral("24/32-bit with Alpha"));
    SaveImageRequest chosen = Request(kSaveBitmap, 0);
    chosen.depthEntry = kDepth1;
    ui::SaveImageDialog one(app.window, chosen);
    QCOMPARE(one.DepthList()->currentText(), QStringLiteral("1-bit 2 colors"));
  }

  void compressionAndQualityFollowTheType() {
    ui::SaveImageDialog d(app.window, Request(kSaveTiff, 0));
    QVERIFY(!d.CompressBox()->isChecked());
    QVERIFY(!d.CompressBox()->isEnabled());
    QVERIFY(!d.QualityBar()->isEnabled());
    d.SelectType(kSaveJpeg);
    QVERIFY(d.QualityBar()->isEnabled() && d.QualityEdit()->isEnabled());
    QCOMPARE(d.QualityBar()->value(), 60);
    QVERIFY(d.CompressBox()->isChecked() && !d.CompressBox()->isEnabled());
    d.SelectType(kSavePcx);
    QVERIFY(!d.QualityBar()->isEnabled());

    ui::SaveImageDialog chop(app.window, Request(kSaveTiff, 1));
    QCOMPARE(chop.nameFilters().size(), 12);
    QVERIFY(chop.CompressBox()->isEnabled() && chop.CompressBox()->isChecked());
    // A choice the person made outlives a type that forces the box.
    chop.CompressBox()->click();
    chop.SelectType(kSaveGif);
    QVERIFY(chop.CompressBox()->isChecked());
    chop.SelectType(kSaveTiff);
    QVERIFY(!chop.CompressBox()->isChecked());
  }

  void aNameWithoutExtensionTakesTheType() {
    ui::SaveImageDialog d(app.window, Request(kSaveTarga, 0));
    d.setDirectory(app.dir.path());
    d.NameEdit()->setText(QStringLiteral("plain"));
    d.accept();
    QVERIFY(QString::fromStdString(d.Choices().name).endsWith(QStringLiteral("/plain.tga")));
  }

  void saveAsWritesAndTheImageKeepsItsFile() {
    NewImageDetails details;
    details.width = 5;
    details.height = 3;
    details.colour = {10, 200, 30};
    QCOMPARE(CreateNewImage(details), 0);
    ImageRecord* image = ImageAt(ImageCount() - 1);
    image->changed = 1;
    const QString base = app.Path(QStringLiteral("saved"));
    test::OnNextModal([base](QWidget* w) {
      auto* d = dynamic_cast<ui::SaveImageDialog*>(w);
      if (!d) return;
      d->SelectType(kSaveBitmap);
      d->DepthList()->setCurrentIndex(1);  // 24-bit
      d->NameEdit()->setText(base);
      d->accept();
    });
    app.window->ActionOf(111)->trigger();
    const std::string path = (base + QStringLiteral(".bmp")).toStdString();
    QVERIFY(QFile::exists(QString::fromStdString(path)));
    QCOMPARE(image->changed, 0);
    QCOMPARE(std::string(image->path), path);
    QCOMPARE(TheProgram().save.type, static_cast<int>(kSaveBitmap));
    QCOMPARE(TheProgram().save.depth, static_cast<int>(kDepth24));

    // Saving to its own file (as closing a changed image does) writes there again.
    LockImage(image);
    PixelAt(image, 4, 2)[0] = 99;
    UnlockImage(image);
    image->changed = 2;
    QCOMPARE(app.host->SaveImageToOwnFile(image), 0);
    QCOMPARE(image->changed, 0);
    std::string name = path;
    ImageRecord* back = LoadImageFile(nullptr, name);
    QVERIFY(back);
    LockImage(back);
    QCOMPARE(int(PixelAt(back, 4, 2)[0]), 99);
    QCOMPARE(int(PixelAt(back, 0, 0)[1]), 200);
    UnlockImage(back);
    FreeImage(back);
  }

  void cleanupTestCase() { app.Stop(); }

 private:
  test::UiProgram app;
};

QTEST_MAIN(SaveDialogTest)
#include "save_dialog_test.moc"
