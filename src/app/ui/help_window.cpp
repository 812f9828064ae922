#include "app/ui/help_window.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "base/messages.h"

namespace qv::ui {
namespace {

// "Getting Started" -> "getting-started.html".
QString PageOf(const QString& keyword) {
  QString name = keyword.toLower();
  name.replace(QRegularExpression(QStringLiteral("[^a-z0-9]+")), QStringLiteral("-"));
  name.remove(QRegularExpression(QStringLiteral("^-+|-+$")));
  return name + QStringLiteral(".html");
}

QString MessagePage(int n) {
  QString text = QString::fromStdString(MessageText(n)).toHtmlEscaped();
  text.replace('\n', QStringLiteral("<br>"));
  return QStringLiteral(
             "<h2>%1</h2><p><b>%2</b></p>"
             "<p>The program stopped what it was doing and changed nothing it had not finished. "
             "Correct the cause named above and choose the command again.</p>"
             "<p><a href=\"index.html\">Contents</a> &middot; <a href=\"messages.html\">About messages</a></p>")
      .arg(QString::fromStdString(MessageTitle(n)), text);
}

}  // namespace

QString HelpFolder() {
  QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/../share/pixqv/help");
  if (QFileInfo(beside).isDir()) return QDir(beside).absolutePath();
  return QStringLiteral(QV_HELP_DIR);
}

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle(QStringLiteral("Pixanta: Q/v Help"));
  setObjectName(QStringLiteral("help"));
  resize(620, 520);
  browser_ = new QTextBrowser(this);
  browser_->setSearchPaths({HelpFolder()});
  browser_->setOpenExternalLinks(true);
  find_ = new QLineEdit(this);
  find_->setPlaceholderText(QStringLiteral("Find in this page"));
  connect(find_, &QLineEdit::returnPressed, this, [this] {
    if (!browser_->find(find_->text())) {
      browser_->moveCursor(QTextCursor::Start);
      browser_->find(find_->text());
    }
  });
  auto* bar = new QHBoxLayout;
  auto* label = new QLabel(QStringLiteral("&Search:"), this);
  // With its field as buddy the '&' marks Alt+S instead of showing.
  label->setBuddy(find_);
  bar->addWidget(label);
  bar->addWidget(find_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(bar);
  layout->addWidget(browser_);
}

void HelpWindow::ShowKeyword(const QString& keyword) {
  keyword_ = keyword;
  static const QRegularExpression message(QStringLiteral("^Message (\\d{3})$"));
  if (auto m = message.match(keyword); m.hasMatch()) {
    browser_->setHtml(MessagePage(m.captured(1).toInt()));
  } else {
    QString page = PageOf(keyword);
    if (!QFileInfo::exists(HelpFolder() + QLatin1Char('/') + page)) page = QStringLiteral("index.html");
    browser_->setSource(QUrl(page));
  }
  if (keyword == QLatin1String("Search")) find_->setFocus();
  show();
  raise();
  activateWindow();
}

}  // namespace qv::ui
