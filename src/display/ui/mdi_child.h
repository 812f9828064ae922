// Finding and closing the tool windows that live in the document area: each
// kind (TimeLine, film strip, sheet, Trend) is one widget inside its own
// sub-window, looked up by type.
#pragma once

#include <QMdiArea>
#include <QMdiSubWindow>

namespace qv::ui {

// The first child of type W that `accept` takes, or null (also for no area).
template <class W, class Accept>
W* FindMdiChild(QMdiArea* area, Accept accept) {
  if (!area) return nullptr;
  for (QMdiSubWindow* sub : area->subWindowList())
    if (auto* w = dynamic_cast<W*>(sub->widget()); w && accept(*w)) return w;
  return nullptr;
}

template <class W>
W* FindMdiChild(QMdiArea* area) {
  return FindMdiChild<W>(area, [](const W&) { return true; });
}

// Closes the sub-window framing `child`. False when it has none or the
// window refused to close.
inline bool CloseMdiFrame(QWidget* child) {
  auto* sub = child ? qobject_cast<QMdiSubWindow*>(child->parentWidget()) : nullptr;
  return sub && sub->close();
}

}  // namespace qv::ui
