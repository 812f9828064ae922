// "Raw Image Load" driven offscreen: the proposal renewed by the layout,
// and a RAW file loaded through the dialog as it was answered.
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>

#include "formats/image_files.h"
#include "formats/raw.h"
#include "formats/ui/raw_dialog.h"
#include "store/image_record.h"
#include "ui/ui_test_support.h"

using namespace qv;

class RawDialogTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() { QVERIFY(app.Start()); }

  void layoutRenewsTheProposal() {
    RawImageRequest r;
    r.fileName = "/some/where/take.raw";
    r.fileSize = 921600;
    r.width = 554, r.height = 554;  // as proposed for gray scale
    ui::RawImageDialog d(app.window, r);
    QCOMPARE(d.objectName(), QStringLiteral("RawDlg"));
    QCOMPARE(d.windowTitle(), QStringLiteral("Raw Image Load"));
    QVERIFY(d.LayoutButton(kRawGray)->isChecked());
    QVERIFY(!d.GreenExtension()->isEnabled());
    d.LayoutButton(kRawInterleaved)->click();
    QCOMPARE(d.WidthBox()->value(), 640);
    QCOMPARE(d.HeightBox()->value(), 480);
    // Typed values stand until the layout changes again.
    d.WidthBox()->setValue(100);
    d.StartBox()->setValue(21600);
    d.LayoutButton(kRawFiles)->click();
    QVERIFY(d.GreenExtension()->isEnabled());
    QCOMPARE(d.WidthBox()->value(), 1095);  // 900000 bytes at 8 bits: about 4:3
    QCOMPARE(d.HeightBox()->value(), 821);
    d.BlueExtension()->setText(QStringLiteral(".b"));
    RawImageRequest out = d.Request();
    QCOMPARE(out.start, 21600);
    QCOMPARE(out.layout, int(kRawFiles));
    QCOMPARE(out.blueExtension, std::string(".b"));
    QCOMPARE(out.fileName, r.fileName);
  }

  void loadsAsAnsweredOrNotAtAll() {
    const QString path = app.Path(QStringLiteral("four.raw"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("\x10\x20\x30\x40\x50\x60", 6);
    f.close();
    test::OnNextModal([](QWidget* w) {
      auto* d = qobject_cast<ui::RawImageDialog*>(w);
      if (!d) return;
      d->LayoutButton(kRawGray)->click();
      d->StartBox()->setValue(2);
      d->WidthBox()->setValue(2);
      d->HeightBox()->setValue(2);
      d->accept();
    });
    std::string name = path.toStdString();
    ImageRecord* image = LoadImageFile(nullptr, name);
    QVERIFY(image);
    QCOMPARE(image->width, 2);
    LockImage(image);
    QCOMPARE(int(PixelAt(image, 1, 1)[1]), 0x60);
    UnlockImage(image);
    FreeImage(image);
    test::OnNextModal([](QWidget* w) {
      if (auto* d = qobject_cast<QDialog*>(w)) d->reject();
    });
    QVERIFY(!LoadImageFile(nullptr, name));
  }

  void cleanupTestCase() { app.Stop(); }

 private:
  test::UiProgram app;
};

QTEST_MAIN(RawDialogTest)
#include "raw_dialog_test.moc"
