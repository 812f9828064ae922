// The desktop program's main window, driven offscreen.
#include <QAbstractButton>
#include <QColorDialog>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>
#include <set>

#include "app/commands.h"
#include "app/frame.h"
#include "app/program.h"
#include "app/ui/help_window.h"
#include "app/ui/main_window.h"
#include "app/ui/qt_host.h"
#include "area/ui/area_toolbox.h"
#include "base/messages.h"
#include "base/string_table.h"
#include "extlib/palette_library.h"

using namespace qv;

namespace {

void CollectIds(const QList<QAction*>& actions, std::set<int>& ids) {
  for (QAction* a : actions) {
    if (a->menu()) CollectIds(a->menu()->actions(), ids);
    bool ok = false;
    int id = a->data().toInt(&ok);
    if (ok && id > 0) ids.insert(id);
  }
}

// The texts and buttons of the modal dialog shown next; it answers with the
// button named `answer` after pressing `first` (when given).
struct DialogWatch {
  QStringList texts;
  QString title;
  void Arm(const QString& first, const QString& answer) {
    QTimer::singleShot(0, [this, first, answer] {
      QWidget* dialog = QApplication::activeModalWidget();
      if (!dialog) return;
      title = dialog->windowTitle();
      for (QLabel* l : dialog->findChildren<QLabel*>()) texts << l->text();
      auto press = [dialog](const QString& text) {
        for (QAbstractButton* b : dialog->findChildren<QAbstractButton*>())
          if (b->text() == text) b->click();
      };
      if (!first.isEmpty()) press(first);
      press(answer);
    });
  }
};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() {
    QVERIFY(dir.isValid());
    iniPath = dir.filePath(QStringLiteral("PIXQV.ini"));
    qputenv("PIXQV_INI", iniPath.toUtf8());
    ResetProgram();
    host = &InstallHost<ui::QtHost>();
    TheProgram().display.screen = {24, 1, 24, 1280, 1024};
    QCOMPARE(StartUp(), 1);
    window = new ui::MainWindow;
    host->SetWindow(window);
    window->ShowAtStart();
  }

  void startUpBuildsTheWholeFrame() {
    QCOMPARE(window->windowTitle(), QStringLiteral("Pixanta: Q/v"));
    QCOMPARE(window->menuBar()->actions().at(kViewMenuIndex)->text(), QStringLiteral("&View"));
    std::set<int> inMenus, inToolBar;
    CollectIds(window->menuBar()->actions(), inMenus);
    CollectIds(window->ToolBar()->actions(), inToolBar);
    for (const CommandEntry& e : CommandTable()) {
      if (e.menu != Menu::None) {
        QVERIFY2(inMenus.count(e.id), qPrintable(QStringLiteral("id %1 not in the menus").arg(e.id)));
        QAction* a = window->ActionOf(e.id);
        // The menu shows the table's text; a trailing function key becomes the shortcut.
        QString full = QString::fromUtf8(CommandText(e.id).data(), CommandText(e.id).size());
        QVERIFY(full.startsWith(a->text()));
        QCOMPARE(a->isEnabled(), CommandAvailable(e.id));
      }
      if (e.flags & kToolBar) QVERIFY2(inToolBar.count(e.id), qPrintable(QString::number(e.id)));
    }
    QCOMPARE(window->ActionOf(108)->shortcut(), QKeySequence(QStringLiteral("F9")));
    QCOMPARE(window->ActionOf(9727)->shortcut(), QKeySequence(Qt::Key_Escape));
    QVERIFY(!window->ActionOf(710)->isEnabled());
    QVERIFY(window->ActionOf(302)->isChecked());
  }

  // Step 7 of start-up opens the area toolbox; the menu item shows and hides
  // it, and where it is moved is where it opens next time.
  void areaToolboxOpensAtStartAndRemembersItsPlace() {
    ui::AreaToolbox* tools = host->Toolbox();
    QVERIFY(tools && tools->isVisible());
    QVERIFY(window->ActionOf(616)->isChecked());
    tools->move(window->mapToGlobal(QPoint(40, 90)));
    QTRY_COMPARE(TheProgram().settings.tool.x, 40);
    QCOMPARE(TheProgram().settings.tool.y, 90);
    window->ActionOf(616)->trigger();
    QVERIFY(!tools->isVisible());
    QVERIFY(!window->ActionOf(616)->isChecked());
    window->ActionOf(616)->trigger();
    QVERIFY(tools->isVisible());
    QVERIFY(window->ActionOf(616)->isChecked());
  }

  // A file name is never broken across lines (a hyphen is no place to break
  // a path); one too wide is shortened in its middle, whole in its tool tip.
  void pathsInMessagesAreKeptWhole() {
    const QString path = QStringLiteral("/home/someone/Pictures/holiday-photographs-from-the-summer/") +
                         QString(30, 'x') + QStringLiteral("-a-rather-long-file-name.bmp");
    for (int kind = 0; kind < 2; ++kind) {
      const QString whole = kind == 0 ? QStringLiteral("File: \"%1\"").arg(path) : path;
      QLabel* shown = nullptr;
      bool wraps = true;
      QString text, tip;
      QTimer::singleShot(0, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog) return;
        for (QLabel* l : dialog->findChildren<QLabel*>())
          if (l->text().contains(QStringLiteral("/home/"))) {
            shown = l;
            wraps = l->wordWrap();
            text = l->text();
            tip = l->toolTip();
          }
        for (QAbstractButton* b : dialog->findChildren<QAbstractButton*>())
          if (b->text().remove('&') == QStringLiteral("OK")) b->click();
      });
      if (kind == 0)
        ShowMessageFile(71, path.toStdString());
      else
        ShowNote("Could not read the file.", path.toStdString());
      QVERIFY2(shown, qPrintable(QString::number(kind)));
      QVERIFY(!wraps);
      QVERIFY(text == whole || tip == whole);
      QVERIFY(text.startsWith(whole.left(12)) && text.endsWith(whole.right(8)));
    }
  }

  void optionCommandsAreChosenFromTheMenusWithTheWindow() {
    for (int id : {123, 205, 361, 632, 608, 609, 618, 619, 620, 621, 911, 912, 707, 9721}) {
      QVERIFY2(CommandAvailable(id), qPrintable(QString::number(id)));
      QVERIFY2(window->ActionOf(id)->isEnabled(), qPrintable(QString::number(id)));
    }
    // The tool-bar flip with nothing loaded says so rather than doing nothing.
    DialogWatch watch;
    watch.Arm(QString(), QStringLiteral("&OK"));
    window->ActionOf(9721)->trigger();
    QVERIFY(watch.texts.contains(QStringLiteral("There are no images loaded to undo.")));
  }

  void displayModeWhileRunningShowsMessage78() {
    BeginSequence("Generating", 8);
    window->UpdateCommands();
    QVERIFY(window->ActionOf(9727)->isEnabled());
    DialogWatch watch;
    watch.Arm(QStringLiteral("&Help"), QStringLiteral("&OK"));
    window->ActionOf(303)->trigger();
    QCOMPARE(watch.title, QStringLiteral("Note !"));
    QVERIFY(watch.texts.contains(QStringLiteral("Message 078")));
    QVERIFY(watch.texts.contains(QStringLiteral("This operation cannot be done while Q/v is Running or Paused.")));
    QCOMPARE(TheProgram().display.mode, 0);
    QVERIFY(window->ActionOf(302)->isChecked());
    QVERIFY(!window->ActionOf(303)->isChecked());
    // Help opened at the message's keyword and the dialog stayed for its answer.
    ui::HelpWindow* help = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == QLatin1String("help")) help = static_cast<ui::HelpWindow*>(w);
    QVERIFY(help);
    QVERIFY(help->isVisible());
    QCOMPARE(help->CurrentKeyword(), QStringLiteral("Message 078"));
    QVERIFY(help->Browser()->toPlainText().contains(QStringLiteral("Running or Paused")));
    // A mnemonic, not a literal '&', before the search field.
    for (QLabel* label : help->findChildren<QLabel*>())
      if (label->text().contains('&')) QVERIFY2(label->buddy(), qPrintable(label->text()));
    EndSequence();
    window->ActionOf(303)->trigger();
    QCOMPARE(TheProgram().display.mode, 1);
    QVERIFY(window->ActionOf(303)->isChecked());
  }

  void progressShowsInTheStatusLine() {
    auto* bar = window->findChild<QProgressBar*>(QStringLiteral("operationBar"));
    auto* sequence = window->findChild<QProgressBar*>(QStringLiteral("sequenceBar"));
    auto* text = window->findChild<QLabel*>(QStringLiteral("statusText"));
    QVERIFY(bar && sequence && text);
    // Idle, the line is the status text's, not two bars at 0%.
    QVERIFY(!bar->isVisible() && !sequence->isVisible());
    host->ShowStatusText("X 3  Y 4");
    QCOMPARE(text->text(), QStringLiteral("X 3  Y 4"));
    QVERIFY(text->isVisible());
    BeginProgress("Blur", 10);
    Progress(5);
    QCOMPARE(bar->value(), 50);
    QVERIFY(bar->isVisible() && !sequence->isVisible());
    BeginSequence("Generating", 4);
    QVERIFY(sequence->isVisible());
    EndSequence();
    QVERIFY(window->ActionOf(9728)->isEnabled());
    QVERIFY(QApplication::overrideCursor());
    EndProgress();
    QCOMPARE(bar->value(), 0);
    QVERIFY(!bar->isVisible() && !sequence->isVisible());
    QVERIFY(!window->ActionOf(9728)->isEnabled());
    QVERIFY(!QApplication::overrideCursor());
  }

  void paletteLibraryChoosesAColourInPlace() {
    // The real library, found beside the program's build.
    QTimer::singleShot(0, [] {
      auto* dialog = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
      if (!dialog) return;
      dialog->setCurrentColor(QColor(1, 2, 3));
      dialog->accept();
    });
    int r = 200, g = 100, b = 50;
    QCOMPARE(AskCol(&r, &g, &b, "Key Color"), 0);
    QCOMPARE(r, 1);
    QCOMPARE(g, 2);
    QCOMPARE(b, 3);
  }

  void togglesFollowTheSettings() {
    QCOMPARE(window->ToolBar()->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    window->ActionOf(612)->trigger();
    QCOMPARE(TheProgram().settings.toolText, 0);
    QVERIFY(!window->ActionOf(612)->isChecked());
    QCOMPARE(window->ToolBar()->toolButtonStyle(), Qt::ToolButtonIconOnly);
  }

  // The scroll arrows move the buttons, never the actions the menus share,
  // and are there only while the buttons do not all fit.
  void toolBarScrollsWithoutTouchingTheMenus() {
    window->showNormal();
    window->resize(1400, 600);
    QTRY_VERIFY(!window->ToolButtonOf(3091)->isVisible());
    QVERIFY(!window->ToolButtonOf(3090)->isVisible());
    QVERIFY(window->ToolButtonOf(106)->isVisible());

    window->resize(260, 600);
    QTRY_VERIFY(window->ToolButtonOf(3091)->isVisible());
    QTest::mouseClick(window->ToolButtonOf(3091), Qt::LeftButton);
    QTRY_VERIFY(!window->ToolButtonOf(106)->isVisible());
    QAction* newImage = window->ActionOf(106);
    QVERIFY(newImage->isVisible());
    QVERIFY(window->MenuAt(static_cast<int>(Menu::File))->actions().contains(newImage));
    QTest::mouseClick(window->ToolButtonOf(3090), Qt::LeftButton);
    QTRY_VERIFY(window->ToolButtonOf(106)->isVisible());

    // Small triangles, nothing like the arrows of Undo and De-Undo.
    for (int id : {3090, 3091}) {
      QToolButton* arrow = window->ToolButtonOf(id);
      QVERIFY(arrow->arrowType() != Qt::NoArrow);
      QVERIFY(arrow->icon().isNull());
      QVERIFY(arrow->width() * 2 < window->ToolButtonOf(9714)->width());
    }
    window->resize(1400, 600);
    QTRY_VERIFY(!window->ToolButtonOf(3091)->isVisible());
  }

  void closingSavesTheSettings() {
    window->close();
    QVERIFY(TheProgram().frame.quitRequested);
    QFile file(iniPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QString text = QString::fromUtf8(file.readAll());
    QVERIFY(text.contains(QStringLiteral("\nToolText=0\n")));
    QVERIFY(text.contains(QStringLiteral("\nDisplayMode=1\n")));
    QVERIFY(text.contains(QStringLiteral("\nPosTool=40 90\n")));
  }

  void cleanupTestCase() {
    host->SetWindow(nullptr);
    delete window;
    ResetProgram();
  }

 private:
  QTemporaryDir dir;
  QString iniPath;
  ui::QtHost* host = nullptr;
  ui::MainWindow* window = nullptr;
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
