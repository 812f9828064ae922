// Shared set-up of the offscreen window tests: a private settings file, the
// Qt host, the started program and its main window.
#pragma once

#include <QApplication>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "app/frame.h"
#include "app/program.h"
#include "app/ui/main_window.h"
#include "app/ui/qt_host.h"

namespace qv::test {

struct UiProgram {
  QTemporaryDir dir;
  ui::QtHost* host = nullptr;
  ui::MainWindow* window = nullptr;

  bool Start() {
    if (!dir.isValid()) return false;
    qputenv("PIXQV_INI", dir.filePath(QStringLiteral("PIXQV.ini")).toUtf8());
    ResetProgram();
    host = &InstallHost<ui::QtHost>();
    TheProgram().display.screen = {24, 1, 24, 1280, 1024};
    if (StartUp() != 1) return false;
    window = new ui::MainWindow;
    host->SetWindow(window);
    window->show();
    return true;
  }
  void Stop() {
    host->SetWindow(nullptr);
    delete window;
    ResetProgram();
  }
  QString Path(const QString& name) const { return dir.filePath(name); }
};

// Runs `act` on the next modal dialog once it is shown.
inline void OnNextModal(std::function<void(QWidget*)> act) {
  QTimer::singleShot(0, [act] {
    if (QWidget* w = QApplication::activeModalWidget()) act(w);
  });
}

// Answers the next file dialog with this file.
inline void AnswerFileDialog(const QString& path) {
  OnNextModal([path](QWidget* w) {
    auto* dialog = qobject_cast<QFileDialog*>(w);
    if (!dialog) return;
    dialog->selectFile(path);
    static_cast<QDialog*>(dialog)->accept();
  });
}

}  // namespace qv::test
