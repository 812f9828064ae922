// The program's own help: HTML pages in the help folder, opened at a
// keyword. A message's keyword ("Message 078") shows that message's page.
#pragma once

#include <QWidget>

class QLineEdit;
class QTextBrowser;

namespace qv::ui {

class HelpWindow : public QWidget {
 public:
  explicit HelpWindow(QWidget* parent);
  void ShowKeyword(const QString& keyword);
  QString CurrentKeyword() const { return keyword_; }
  QTextBrowser* Browser() const { return browser_; }

 private:
  QTextBrowser* browser_;
  QLineEdit* find_;
  QString keyword_;
};

// The folder holding the help pages.
QString HelpFolder();

}  // namespace qv::ui
