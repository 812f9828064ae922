#include "ops/ui/profile_window.h"

#include <QVBoxLayout>
#include <string_view>

#include "ops/lighting_ops.h"
#include "ops/ui/colour_controls.h"

namespace qv::ui {

ProfileWindow::ProfileWindow(QWidget* parent, OpId op) : QWidget(parent, Qt::Tool), op_(op) {
  setObjectName(QStringLiteral("profileWindow"));
  setAttribute(Qt::WA_DeleteOnClose);
  std::string_view title;
  ProfileOf(op, profile_, title);
  setWindowTitle(QString::fromUtf8(title.data(), static_cast<int>(title.size())));
  CurveSource source;
  source.length = kProfileLength;
  source.maximum = InfoOf(profile_).maximum;
  source.curves = 1;
  const ProfileId id = profile_;
  source.value = [id](int, int index) {
    const std::int16_t* p = EnsureProfile(id);
    return p ? p[index] : 0;
  };
  source.draw = [id](int i0, int v0, int i1, int v1) { DrawProfileLine(id, i0, v0, i1, v1); };
  auto* layout = new QVBoxLayout(this);
  curve_ = new MapCurve(this, source);
  curve_->setObjectName(QStringLiteral("profileCurve"));
  layout->addWidget(curve_);
}

}  // namespace qv::ui
