#include "ops/ui/profile_window.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <string_view>

#include "ops/glass_flame_ops.h"
#include "ops/lighting_ops.h"
#include "ops/ui/colour_controls.h"
#include "store/memory_places.h"

namespace qv::ui {

ProfileWindow::ProfileWindow(QWidget* parent, OpId op) : QWidget(parent, Qt::Tool), op_(op) {
  setObjectName(QStringLiteral("profileWindow"));
  setAttribute(Qt::WA_DeleteOnClose);
  std::string_view title;
  ProfileOf(op, profile_, title);
  setWindowTitle(QString::fromUtf8(title.data(), static_cast<int>(title.size())));
  layout_ = new QVBoxLayout(this);
  if (op == kRefractOp) {
    // Twelve curves, one shown at a time; "Reset" forgets the shown one.
    auto* row = new QHBoxLayout;
    chooser_ = new QComboBox(this);
    chooser_->setObjectName(QStringLiteral("curveChooser"));
    for (int k = 0; k < 12; ++k) {
      const ProfileId id = static_cast<ProfileId>(static_cast<int>(ProfileId::CcH) + k);
      const std::string_view keyword = InfoOf(id).keyword;
      chooser_->addItem(QString::fromUtf8(keyword.data(), static_cast<int>(keyword.size())), static_cast<int>(id));
      if (id == profile_) chooser_->setCurrentIndex(k);
    }
    connect(chooser_, &QComboBox::currentIndexChanged, this,
            [this](int i) { ShowCurve(static_cast<ProfileId>(chooser_->itemData(i).toInt())); });
    auto* reset = new QPushButton(QStringLiteral("Reset"), this);
    reset->setObjectName(QStringLiteral("resetCurve"));
    connect(reset, &QPushButton::clicked, this, [this] {
      std::int16_t*& slot = Ops().profiles[static_cast<std::size_t>(profile_)];
      slot = static_cast<std::int16_t*>(FreeReal(slot, InfoOf(profile_).tag));
      curve_->update();
    });
    row->addWidget(chooser_);
    row->addWidget(reset);
    layout_->addLayout(row);
  }
  ShowCurve(profile_);
}

void ProfileWindow::ShowCurve(ProfileId id) {
  profile_ = id;
  CurveSource source;
  source.length = kProfileLength;
  source.maximum = InfoOf(id).maximum;
  source.curves = 1;
  source.value = [id](int, int index) {
    // A Refract curve never drawn is shown as what it does: nothing.
    const std::int16_t* p = IsRefractCurve(id) ? FindProfile(id) : EnsureProfile(id);
    if (!p) return IsRefractCurve(id) ? RefractIdentity(id, index) : 0;
    return static_cast<int>(p[index]);
  };
  source.draw = [id](int i0, int v0, int i1, int v1) { DrawProfileLine(id, i0, v0, i1, v1); };
  if (curve_) curve_->deleteLater();
  curve_ = new MapCurve(this, source);
  curve_->setObjectName(QStringLiteral("profileCurve"));
  layout_->addWidget(curve_);
}

}  // namespace qv::ui
