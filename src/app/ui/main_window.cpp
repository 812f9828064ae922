#include "app/ui/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>

#include "anim/ui/film_window.h"
#include "anim/ui/trend_window.h"
#include "app/commands.h"
#include "app/frame.h"
#include "app/program.h"
#include "base/string_table.h"
#include "display/ui/view_window.h"
#include "display/views.h"
#include "ops/apply.h"
#include "ops/op_menu.h"
#include "ops/op_state.h"
#include "ops/ui/chronograph_window.h"
#include "ops/ui/op_settings_window.h"

namespace qv::ui {
namespace {

constexpr int kToolbarLeft = 3090;
constexpr int kToolbarRight = 3091;
constexpr int kShowToolbox = 616;
constexpr int kStopSequence = 9727;
constexpr int kPauseSequence = 9728;
constexpr int kStopText = 1210;
constexpr int kPauseText = 1211;

QString Text(int id) {
  std::string_view t = LoadString(id);
  return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size()));
}

// "Ca&pture screen...        F9": the text before the blanks is the item,
// the function key its shortcut.
std::pair<QString, QKeySequence> SplitKey(const QString& text) {
  static const QRegularExpression withKey(QStringLiteral("^(.*\\S)\\s{2,}(F\\d+)$"));
  auto m = withKey.match(text);
  if (!m.hasMatch()) return {text, {}};
  return {m.captured(1), QKeySequence(m.captured(2))};
}

// The short name a tool-bar button shows under its icon.
QString ButtonText(int id) {
  if (id == kStopSequence) return Text(kStopText);
  if (id == kPauseSequence) return Text(kPauseText);
  QString t = SplitKey(Text(id)).first;
  t.remove('&');
  t.remove(QStringLiteral("..."));
  if (t.startsWith(QStringLiteral("Show "))) t = t.mid(5);
  return t.trimmed();
}

QStyle::StandardPixmap IconOf(int id) {
  switch (id) {
    case 106: return QStyle::SP_FileIcon;
    case 103: return QStyle::SP_DialogOpenButton;
    case 118: return QStyle::SP_DialogSaveButton;
    case 9714: return QStyle::SP_ArrowBack;
    case 9716: return QStyle::SP_ArrowForward;
    case 9721: return QStyle::SP_BrowserReload;
    case 209: return QStyle::SP_FileDialogDetailedView;
    case 901: return QStyle::SP_FileDialogListView;
    case 3997: return QStyle::SP_FileDialogInfoView;
    case 201: return QStyle::SP_MediaPlay;
    case kStopSequence: return QStyle::SP_MediaStop;
    case kPauseSequence: return QStyle::SP_MediaPause;
    default: return QStyle::SP_CustomBase;
  }
}

}  // namespace

MainWindow::MainWindow() {
  setWindowTitle(QString::fromUtf8(kMainTitle));
  setObjectName(QStringLiteral("mainClass"));
  area_ = new QMdiArea(this);
  area_->setObjectName(QStringLiteral("mdiclient"));
  area_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  area_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(area_);
  BuildMenus();
  BuildOperationsMenu();
  BuildToolBar();
  BuildStatusLine();
  ApplyLook();
  UpdateCommands();
  setAcceptDrops(true);
  // The active view is the one an effect chosen now applies to.
  connect(area_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* w) {
    if (auto* sub = dynamic_cast<ViewSubWindow*>(w)) SetActionView(sub->View()->Record());
    UpdateCommands();
  });
}

MainWindow::~MainWindow() {
  // The document area outlives this part of the window: closing its views
  // must not call back into members already gone.
  disconnect(area_, nullptr, this, nullptr);
  area_->viewport()->removeEventFilter(this);
  toolBar_->removeEventFilter(this);
  RemoveOpSettingsHooks();
}

// The catalogue's groups head the Operations menu, one popup each; the
// popups' mnemonics keep clear of the menu's own items.
void MainWindow::BuildOperationsMenu() {
  QMenu* ops = menus_[static_cast<int>(Menu::Operations)];
  std::string used;
  for (QAction* a : ops->actions()) {
    qsizetype amp = a->text().indexOf('&');
    if (amp >= 0 && amp + 1 < a->text().size()) used += static_cast<char>(a->text().at(amp + 1).toLower().toLatin1());
  }
  QAction* first = ops->actions().isEmpty() ? nullptr : ops->actions().first();
  auto* group = new QActionGroup(this);
  group->setExclusive(true);
  for (const OpMenuPopup& popup : qv::BuildOperationsMenu(used)) {
    auto* menu = new QMenu(QString::fromStdString(popup.title), ops);
    for (const OpMenuItem& item : popup.items) {
      auto* action = menu->addAction(QString::fromStdString(item.text));
      int id = static_cast<int>(item.command);
      action->setData(id);
      action->setCheckable(true);
      group->addAction(action);
      connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
      opActions_[id] = action;
    }
    ops->insertMenu(first, menu);
  }
  if (first) ops->insertSeparator(first);
  OpsHooks& hooks = TheProgram().ops.hooks;
  hooks.markOperation = [this](OpId, OpId) { MarkOperation(); };
  // Outlives this window: the host brings the commands up to date.
  hooks.applyToCurrentView = [] {
    int result = Apply(static_cast<int>(CurrentOp()), ActionViewIndex());
    TheHost().SetRunningButtons(false);
    return result;
  };
  InstallOpSettingsHooks(this);
  InstallTrendWindows(area_);
  MarkOperation();
}

void MainWindow::MarkOperation() {
  auto it = opActions_.find(static_cast<int>(CurrentOp()));
  if (it != opActions_.end()) it->second->setChecked(true);
}

void MainWindow::BuildMenus() {
  for (int m = 0; m < kMenuCount; ++m) {
    QMenu* menu = menuBar()->addMenu(QString::fromUtf8(MenuTitle(static_cast<Menu>(m)).data()));
    menus_[m] = menu;
    connect(menu, &QMenu::aboutToShow, this, [this] { UpdateCommands(); });
  }
  for (const CommandEntry& e : CommandTable()) {
    auto [text, key] = SplitKey(Text(e.id));
    auto* action = new QAction(text, this);
    action->setData(e.id);
    if (!key.isEmpty()) action->setShortcut(key);
    if (e.flags & (kToggle | kRadio)) action->setCheckable(true);
    if (e.flags & kRadio) {
      QActionGroup*& group = groups_[e.group];
      if (!group) {
        group = new QActionGroup(this);
        group->setExclusive(true);
      }
      group->addAction(action);
    }
    int id = e.id;
    connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
    actions_[id] = action;
    if (e.menu == Menu::None) {
      addAction(action);  // shortcuts of tool-bar-only commands still work
      continue;
    }
    QMenu* menu = menus_[static_cast<int>(e.menu)];
    if ((e.flags & kSeparatorBefore) && !menu->isEmpty()) menu->addSeparator();
    menu->addAction(action);
  }
  // The keystroke that stops running work.
  actions_[CommandOfKey(Key::Escape)]->setShortcut(QKeySequence(Qt::Key_Escape));

  QMenu* file = menus_[static_cast<int>(Menu::File)];
  recentSeparator_ = file->insertSeparator(actions_[9898]);
  connect(file, &QMenu::aboutToShow, this, [this] { FillRecentFiles(); });
  QMenu* view = menus_[kViewMenuIndex];
  connect(view, &QMenu::aboutToShow, this, [this] { FillWindowList(); });
}

void MainWindow::FillRecentFiles() {
  QMenu* file = menus_[static_cast<int>(Menu::File)];
  for (QAction* a : recentActions_) {
    file->removeAction(a);
    a->deleteLater();
  }
  recentActions_.clear();
  const auto& files = TheProgram().settings.lastFiles;
  int n = 0;
  for (const auto& path : files) {
    if (path.empty()) continue;
    ++n;
    auto* a = new QAction(QStringLiteral("&%1 %2").arg(n).arg(QString::fromStdString(path)), file);
    std::string name = path;
    connect(a, &QAction::triggered, this, [this, name] {
      OpenFileCommand(name);
      UpdateCommands();
    });
    file->insertAction(recentSeparator_, a);
    recentActions_.push_back(a);
  }
}

void MainWindow::FillWindowList() {
  QMenu* view = menus_[kViewMenuIndex];
  for (QAction* a : windowActions_) {
    view->removeAction(a);
    a->deleteLater();
  }
  windowActions_.clear();
  const auto windows = area_->subWindowList();
  if (windows.isEmpty()) return;
  windowActions_.push_back(view->addSeparator());
  int n = 0;
  for (QMdiSubWindow* w : windows) {
    auto* a = view->addAction(QStringLiteral("&%1 %2").arg(n + 1).arg(w->windowTitle()));
    a->setData(kFirstWindowId + n);
    a->setCheckable(true);
    a->setChecked(w == area_->activeSubWindow());
    connect(a, &QAction::triggered, this, [this, w] { area_->setActiveSubWindow(w); });
    windowActions_.push_back(a);
    ++n;
  }
}

void MainWindow::BuildToolBar() {
  toolBar_ = addToolBar(QStringLiteral("Tools"));
  toolBar_->setObjectName(QStringLiteral("toolbar"));
  toolBar_->setMovable(false);
  // Small bare triangles: nothing like the arrows of Undo and De-Undo.
  auto scrollButton = [this](int id, Qt::ArrowType arrow, int by) {
    auto* b = new QToolButton(toolBar_);
    b->setArrowType(arrow);
    b->setAutoRaise(true);
    b->setToolButtonStyle(Qt::ToolButtonIconOnly);
    b->setFixedWidth(style()->pixelMetric(QStyle::PM_ToolBarExtensionExtent));
    b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    b->setToolTip(Text(id));
    b->setObjectName(QStringLiteral("button%1").arg(id));
    // Held down, the button repeats, as the scroll buttons always have.
    b->setAutoRepeat(true);
    b->setAutoRepeatDelay(400);
    b->setAutoRepeatInterval(150);
    connect(b, &QToolButton::clicked, this, [this, by] { ScrollToolBar(by); });
    toolButtons_[id] = b;
    return b;
  };
  // Both at the start: the end of a tool bar too narrow is what is cut off.
  scrollPlaces_[0] = toolBar_->addWidget(scrollButton(kToolbarLeft, Qt::LeftArrow, -1));
  scrollPlaces_[1] = toolBar_->addWidget(scrollButton(kToolbarRight, Qt::RightArrow, 1));
  for (int id : ToolBarCommands()) {
    QAction* a = actions_[id];
    a->setIcon(style()->standardIcon(IconOf(id)));
    a->setIconText(ButtonText(id));
    a->setToolTip(SplitKey(Text(id)).first.remove('&'));
    if (id == kStopSequence) toolBar_->addSeparator();
    auto* b = new QToolButton(toolBar_);
    b->setDefaultAction(a);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setToolButtonStyle(toolBar_->toolButtonStyle());
    b->setIconSize(toolBar_->iconSize());
    connect(toolBar_, &QToolBar::toolButtonStyleChanged, b, &QToolButton::setToolButtonStyle);
    connect(toolBar_, &QToolBar::iconSizeChanged, b, &QToolButton::setIconSize);
    QAction* place = toolBar_->addWidget(b);
    place->setData(id);
    toolPlaces_.push_back(place);
    toolButtons_[id] = b;
  }
  toolBar_->installEventFilter(this);
}

QToolButton* MainWindow::ToolButtonOf(int id) const {
  auto it = toolButtons_.find(id);
  return it == toolButtons_.end() ? nullptr : it->second;
}

// The first visible button moves, not below the first nor beyond the last.
void MainWindow::ScrollToolBar(int by) {
  if (IsRunning()) return;
  firstToolButton_ = std::clamp(firstToolButton_ + by, 0, static_cast<int>(toolPlaces_.size()) - 1);
  LayOutToolBar();
}

// The scroll buttons are there only while the buttons do not all fit.
void MainWindow::LayOutToolBar() {
  if (!toolBar_ || toolPlaces_.isEmpty()) return;
  const int spacing = style()->pixelMetric(QStyle::PM_ToolBarItemSpacing, nullptr, toolBar_);
  const int margins = 2 * (style()->pixelMetric(QStyle::PM_ToolBarItemMargin, nullptr, toolBar_) +
                           style()->pixelMetric(QStyle::PM_ToolBarFrameWidth, nullptr, toolBar_));
  int needed = margins + style()->pixelMetric(QStyle::PM_ToolBarSeparatorExtent, nullptr, toolBar_) + spacing;
  for (QAction* place : toolPlaces_) needed += toolBar_->widgetForAction(place)->sizeHint().width() + spacing;
  const bool fits = needed <= toolBar_->width();
  if (fits) firstToolButton_ = 0;
  for (QAction* arrow : scrollPlaces_) arrow->setVisible(!fits);
  for (int i = 0; i < toolPlaces_.size(); ++i) toolPlaces_[i]->setVisible(i >= firstToolButton_);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == toolBar_ && event->type() == QEvent::Resize) LayOutToolBar();
  if (watched == area_->viewport() && event->type() == QEvent::MouseMove) statusText_->clear();
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::BuildStatusLine() {
  statusText_ = new QLabel(this);
  statusText_->setObjectName(QStringLiteral("statusText"));
  sequenceText_ = new QLabel(this);
  sequenceBar_ = new QProgressBar(this);
  operationText_ = new QLabel(this);
  operationBar_ = new QProgressBar(this);
  sequenceText_->setObjectName(QStringLiteral("sequenceText"));
  operationText_->setObjectName(QStringLiteral("operationText"));
  sequenceBar_->setObjectName(QStringLiteral("sequenceBar"));
  operationBar_->setObjectName(QStringLiteral("operationBar"));
  for (QProgressBar* bar : {sequenceBar_, operationBar_}) {
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setFixedWidth(140);
    bar->setMaximumHeight(16);
    bar->setTextVisible(true);
  }
  sequenceText_->setMinimumWidth(110);
  operationText_->setMinimumWidth(110);
  statusBar()->addWidget(statusText_, 1);
  statusBar()->addPermanentWidget(sequenceText_);
  statusBar()->addPermanentWidget(sequenceBar_);
  statusBar()->addPermanentWidget(operationText_);
  statusBar()->addPermanentWidget(operationBar_);
  ShowProgressDisplay(CurrentProgressDisplay());
  // Moving over the empty document area clears the status text.
  area_->viewport()->setMouseTracking(true);
  area_->viewport()->installEventFilter(this);
}

void MainWindow::ApplyLook() {
  const Settings& s = TheProgram().settings;
  area_->setBackground(s.darkBack ? QBrush(Qt::black) : QBrush(QColor(128, 128, 128)));
  toolBar_->setToolButtonStyle(s.toolText ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonIconOnly);
  QString chunk = s.progressLight ? QStringLiteral("#9fd4ff") : QStringLiteral("#1d5fa8");
  QString sheet = QStringLiteral("QProgressBar { border: 1px solid #777; border-radius: 2px; text-align: center; }"
                                 "QProgressBar::chunk { background: %1; }")
                      .arg(chunk);
  sequenceBar_->setStyleSheet(sheet);
  operationBar_->setStyleSheet(sheet);
  // Text under the icons widens the buttons.
  LayOutToolBar();
}

QAction* MainWindow::ActionOf(int id) const {
  auto it = actions_.find(id);
  if (it != actions_.end()) return it->second;
  auto op = opActions_.find(id);
  return op == opActions_.end() ? nullptr : op->second;
}

QMenu* MainWindow::MenuAt(int index) const { return index >= 0 && index < kMenuCount ? menus_[index] : nullptr; }

void MainWindow::UpdateCommands() {
  for (auto& [id, action] : actions_) {
    action->setEnabled(CommandAvailable(id));
    if (action->isCheckable()) action->setChecked(CommandChecked(id));
  }
  for (auto& [id, action] : opActions_) action->setEnabled(CommandAvailable(id));
}

void MainWindow::RememberPlace() {
  Program& p = TheProgram();
  if (isMinimized()) return;
  if (isMaximized()) {
    p.settings.main = {0, 0, p.display.screen.width, p.display.screen.height};
    return;
  }
  QRect g = geometry();
  p.settings.main = {g.x(), g.y(), g.width(), g.height()};
}

void MainWindow::RunCommand(int id) {
  // Where the window is now is where it starts next time.
  if (id == 9898) RememberPlace();
  RouteCommand(id);
  AfterCommand();
}

void MainWindow::AfterCommand() {
  if (TheProgram().frame.quitRequested) {
    close();
    QCoreApplication::quit();
    return;
  }
  ApplyLook();
  SyncChronograph(this, area_);
  SyncViewCursors();
  UpdateCommands();
}

// The bars are there while work runs; idle, the line is the status text's.
void MainWindow::ShowProgressDisplay(const ProgressDisplay& d) {
  const ProgressState& s = TheProgram().progress;
  sequenceText_->setText(QString::fromStdString(d.sequenceText));
  sequenceText_->setVisible(!d.sequenceText.empty());
  sequenceBar_->setValue(d.sequencePercent);
  sequenceBar_->setVisible(s.sequenceTotal > 0);
  operationText_->setText(QString::fromStdString(d.operationText));
  operationText_->setVisible(s.operationTotal > 0 && !d.operationText.empty());
  operationBar_->setValue(d.operationPercent);
  operationBar_->setVisible(s.operationTotal > 0);
}

void MainWindow::SetStatusText(const QString& text) { statusText_->setText(text); }

void MainWindow::ShowAtStart() {
  const Program& p = TheProgram();
  const WindowPlace& place = p.settings.main;
  setGeometry(place.x, place.y, place.width, place.height);
  if (p.frame.iconic) {
    showMinimized();
  } else if (place.width == p.display.screen.width && place.height == p.display.screen.height) {
    showMaximized();
  } else {
    show();
  }
  // The tool windows the settings left open; the area toolbox always is.
  SyncChronograph(this, area_);
  if (!TheHost().ToolWindowShown(kShowToolbox)) TheHost().RunWindowCommand(kShowToolbox);
  if (p.settings.showFilm && !TheHost().ToolWindowShown(kFilmCommand)) TheHost().OpenToolWindow(kFilmCommand);
  UpdateCommands();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

// Dropped files open as if chosen with Load Image, each in turn.
void MainWindow::dropEvent(QDropEvent* event) {
  for (const QUrl& url : event->mimeData()->urls()) {
    if (!url.isLocalFile()) continue;
    if (OpenFileCommand(url.toLocalFile().toStdString()) != 0 && IsBusy()) break;
  }
  event->acceptProposedAction();
  UpdateCommands();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!TheProgram().frame.quitRequested) {
    RememberPlace();
    RouteCommand(9898);
  }
  if (TheProgram().frame.quitRequested) {
    event->accept();
    QCoreApplication::quit();
  } else {
    event->ignore();
    UpdateCommands();
  }
}

}  // namespace qv::ui
