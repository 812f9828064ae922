// The screen through Qt. Built into its own small library (Qt6::Gui, no
// widgets) so that pixqv-cli can capture without the desktop program's
// windows.
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QSysInfo>
#include <cstdlib>
#include <cstring>

#include <xcb/xcb.h>

#include "capture/screen_source.h"

namespace qv {

std::string X11DisplayProblem() {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland && *wayland)
      return "screen capture needs X11, and this is a Wayland session without DISPLAY "
             "(XWayland with QT_QPA_PLATFORM=xcb sees X11 windows only)";
    return "screen capture needs an X11 display, and DISPLAY is not set";
  }
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  const int error = xcb_connection_has_error(connection);
  xcb_disconnect(connection);
  if (error != 0) return std::string("cannot connect to the X11 display \"") + display + "\"";
  return {};
}

struct ScreenConnection::Parts {
  // Qt keeps references to the argument count and words for its lifetime.
  int argc = 3;
  char name[16] = "pixqv-cli";
  char option[16] = "-platform";
  char platform[8] = "xcb";
  char* argv[4] = {name, option, platform, nullptr};
  QGuiApplication app{argc, argv};
};

ScreenConnection::ScreenConnection() {
  if (!QGuiApplication::instance()) parts_ = std::make_unique<Parts>();
}

ScreenConnection::~ScreenConnection() = default;

ScreenPixels GrabPrimaryScreen() {
  ScreenPixels out;
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) {
    out.reason = "there is no screen to capture";
    return out;
  }
  // Window 0 is the whole desktop; Qt reads it in the screen's own format.
  const QPixmap pixmap = screen->grabWindow(0);
  if (pixmap.isNull()) {
    if (QGuiApplication::platformName().startsWith(QStringLiteral("wayland")))
      out.reason = "screen capture needs X11: Wayland hands no screen pixels to programs "
                   "(XWayland with QT_QPA_PLATFORM=xcb sees X11 windows only)";
    else
      out.reason = "the screen could not be read (" + QGuiApplication::platformName().toStdString() + ")";
    return out;
  }
  // Blue, green, red, unused in memory: Format_RGB32 is that on a
  // little-endian machine; elsewhere RGBX8888 with red and blue swapped.
  QImage image = pixmap.toImage();
  if constexpr (QSysInfo::ByteOrder == QSysInfo::LittleEndian)
    image = image.convertToFormat(QImage::Format_RGB32);
  else
    image = image.convertToFormat(QImage::Format_RGBX8888).rgbSwapped();
  if (image.isNull()) {
    out.reason = "no memory for the screen's picture";
    return out;
  }
  out.width = image.width();
  out.height = image.height();
  out.depth = screen->depth();
  out.stride = static_cast<std::size_t>(image.bytesPerLine());
  const auto* bits = image.constBits();
  out.bytes.assign(bits, bits + image.sizeInBytes());
  return out;
}

}  // namespace qv
