// zelvane: the companion that computes Distortion and Transition frames for
// Pixanta: Q/v. It listens on a local socket (one conversation at a time,
// state kept between them), shows its point-pair editor when asked to come
// to the front, runs without a window where there is no display, and
// computes one frame from files with `zelvane frame`.
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "anim/zelvane_wire.h"
#include "editor.h"
#include "frame_command.h"
#include "handler.h"

namespace {

namespace wire = qv::zelvane;

constexpr const char* kUsage =
    "usage: zelvane [--socket PATH] [--minimized] [--trace FILE]\n"
    "       zelvane frame START [--end END] --point-file P.zpt --frame N --total M OUT\n"
    "\n"
    "Without a subcommand: waits for Pixanta: Q/v on a local socket and computes\n"
    "the frames of Distortion and Transition it asks for.\n"
    "  --socket PATH   the socket (default: $PIXQV_ZELVANE_SOCKET, else\n"
    "                  $XDG_RUNTIME_DIR/pixqv/Zelvane.Qv, else a private folder\n"
    "                  under the temporary folder); the process id goes to PATH.pid\n"
    "  --minimized     keep the editor hidden until Pixanta: Q/v asks for it\n"
    "  --trace FILE    write one line per transaction to FILE\n"
    "Without a display it runs without its editor.\n"
    "\n"
    "frame: frame N of M without the link, from START alone (Distortion) or from\n"
    "START to END (Transition), written to OUT (type from its extension).\n"
    "Exit codes: 0 done, 1 failed, 2 bad usage.\n";

class Companion : public QObject {
 public:
  Companion(std::string socket, std::string tracePath, bool minimized, bool windows)
      : socketPath_(std::move(socket)), minimized_(minimized) {
    if (!tracePath.empty()) {
      trace_.open(tracePath, std::ios::app);
      session_.trace = [this](const std::string& line) { trace_ << line << '\n' << std::flush; };
    }
    if (windows) {
      editor_ = std::make_unique<Editor>(session_);
      session_.changed = [this] { editor_->Reload(); };
      session_.front = [this] {
        editor_->showNormal();
        editor_->raise();
        editor_->activateWindow();
      };
    }
    QObject::connect(&server_, &QLocalServer::newConnection, this, [this] { TakeNext(); });
  }
  ~Companion() override {
    if (!pidPath_.empty()) std::remove(pidPath_.c_str());
  }

  bool Listen() {
    // A companion already answering there keeps its socket.
    QLocalSocket probe;
    probe.connectToServer(QString::fromStdString(socketPath_));
    if (probe.waitForConnected(200)) {
      std::fprintf(stderr, "zelvane: another companion already listens on %s\n", socketPath_.c_str());
      return false;
    }
    QLocalServer::removeServer(QString::fromStdString(socketPath_));
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_.listen(QString::fromStdString(socketPath_))) {
      std::fprintf(stderr, "zelvane: cannot listen on %s: %s\n", socketPath_.c_str(),
                   server_.errorString().toLocal8Bit().constData());
      return false;
    }
    pidPath_ = socketPath_ + ".pid";
    std::ofstream(pidPath_) << getpid() << '\n';
    if (editor_ && !minimized_) editor_->show();
    return true;
  }

 private:
  void TakeNext() {
    while (!current_ && server_.hasPendingConnections()) {
      QLocalSocket* s = server_.nextPendingConnection();
      ucred peer{};
      socklen_t size = sizeof peer;
      if (::getsockopt(static_cast<int>(s->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 ||
          peer.uid != ::getuid()) {
        s->abort();
        s->deleteLater();
        continue;
      }
      current_ = s;
      reader_ = zelvane::FrameReader{};
      QObject::connect(s, &QLocalSocket::readyRead, this, [this, s] { Read(s); });
      QObject::connect(s, &QLocalSocket::disconnected, this, [this, s] { Gone(s); });
      Read(s);
    }
  }

  void Read(QLocalSocket* s) {
    if (s != current_) return;
    const QByteArray bytes = s->readAll();
    reader_.Feed(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    std::uint8_t kind = 0;
    std::string payload, why;
    for (;;) {
      const int got = reader_.Next(session_.PayloadLimit(), kind, payload, why);
      if (got == 0) break;
      if (got < 0) {
        // The stream cannot be followed past a frame that was refused.
        if (session_.trace) session_.trace("? refused " + why);
        Send(s, zelvane::EncodeFrame(wire::kNack, why));
        s->disconnectFromServer();
        return;
      }
      const zelvane::Reply reply = session_.Handle(kind, payload);
      Send(s, zelvane::EncodeFrame(reply.kind, reply.payload));
      if (kind == wire::kDisconnect && reply.kind == wire::kAck) {
        s->disconnectFromServer();
        return;
      }
    }
  }

  static void Send(QLocalSocket* s, const std::string& frame) {
    s->write(frame.data(), static_cast<qint64>(frame.size()));
    s->flush();
  }

  void Gone(QLocalSocket* s) {
    if (s == current_) {
      session_.Drop();
      current_ = nullptr;
    }
    s->deleteLater();
    QTimer::singleShot(0, this, [this] { TakeNext(); });
  }

  std::string socketPath_, pidPath_;
  bool minimized_;
  std::ofstream trace_;
  zelvane::Session session_;
  zelvane::FrameReader reader_;
  QLocalServer server_;
  QLocalSocket* current_ = nullptr;
  std::unique_ptr<Editor> editor_;
};

bool HasDisplay() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform && std::strcmp(platform, "offscreen") == 0) return true;
  const char* x = std::getenv("DISPLAY");
  const char* w = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (w && *w);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "frame") return RunFrameCommand({args.begin() + 1, args.end()});
  std::string socket, trace;
  bool minimized = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const bool hasValue = i + 1 < args.size();
    if (args[i] == "--help" || args[i] == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (args[i] == "--socket" && hasValue) {
      socket = args[++i];
    } else if (args[i] == "--trace" && hasValue) {
      trace = args[++i];
    } else if (args[i] == "--minimized") {
      minimized = true;
    } else {
      std::fprintf(stderr, "zelvane: unknown argument '%s' (see --help)\n", std::string(args[i]).c_str());
      return 2;
    }
  }
  if (socket.empty()) socket = wire::DefaultSocketPath();
  const bool windows = HasDisplay();
  std::unique_ptr<QCoreApplication> app;
  if (windows)
    app = std::make_unique<QApplication>(argc, argv);
  else
    app = std::make_unique<QCoreApplication>(argc, argv);
  // Closing the editor hides it; the companion keeps serving.
  if (windows) QApplication::setQuitOnLastWindowClosed(false);
  Companion companion(socket, trace, minimized, windows);
  if (!companion.Listen()) return 1;
  return app->exec();
}
