// A helper for the capture tests: shows a picture 1:1 in a frameless window
// at (100, 50) and says "shown" on stdout once it has been painted, then
// stays until it is killed.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRasterWindow>
#include <QTimer>
#include <cstdio>

namespace {

class SampleWindow : public QRasterWindow {
 public:
  explicit SampleWindow(QImage image) : image_(std::move(image)) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter(this).drawImage(0, 0, image_);
    if (told_) return;
    told_ = true;
    // The server has the pixels once the flush that follows this paint is done.
    QTimer::singleShot(300, [] {
      std::puts("shown");
      std::fflush(stdout);
    });
  }

 private:
  QImage image_;
  bool told_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc < 2) return 2;
  QImage image(QString::fromLocal8Bit(argv[1]));
  if (image.isNull()) return 1;
  SampleWindow window(image);
  window.setFlags(Qt::Window | Qt::FramelessWindowHint);
  window.setGeometry(100, 50, image.width(), image.height());
  window.show();
  return QGuiApplication::exec();
}
