// The seven drivers of the apply pipeline and the look-up-table worker.
#include <cstring>
#include <string>

#include "app/messages.h"
#include "app/program.h"
#include "app/progress.h"
#include "app/string_table.h"
#include "ops/apply.h"
#include "store/memory_places.h"
#include "store/undo.h"

namespace qv {
namespace {

constexpr int kMessageNoMemory = 22;
constexpr int kMessageNoVirtualMemory = 59;
constexpr int kMessageNoRealMemory = 60;
constexpr int kMessageNoMaskMemory = 62;
constexpr int kForGenerations = 16131;
constexpr const char* kTableTags[4] = {"rhist", "ghist", "bhist", "ahist"};

const char* DriverLetter(ApplyKind kind) {
  switch (kind) {
    case ApplyKind::Point:
    case ApplyKind::Value: return "A";
    case ApplyKind::Pixel: return "B";
    case ApplyKind::Generation: return "C";
    case ApplyKind::Warp: return "D";
    case ApplyKind::Image: return "E";
    case ApplyKind::Inspect: return "F";
  }
  return "?";
}

// The mask plane for the image's size, locked. A plane made here selects
// everything: the image has no selection of its size.
std::uint8_t* LockDriverMask(ImageRecord* image, ApplyKind kind) {
  AreaMask& m = TheProgram().area.mask;
  if (m.address) return m.address;
  const int w = image->width, h = image->height;
  if (m.place && (m.width != w || m.height != h)) {
    FreeVirtual(m.place);
    m.place = nullptr;
  }
  if (!m.place) {
    m.place = AllocVirtual(std::int64_t{w} * h, "Mask");
    if (!m.place) {
      ShowMessage(kMessageNoVirtualMemory);
      ShowMessageWith(kMessageNoMaskMemory, DriverLetter(kind));
      return nullptr;
    }
    m.width = w;
    m.height = h;
    auto* bytes = static_cast<std::uint8_t*>(LockVirtual(m.place));
    if (bytes) {
      std::memset(bytes, 255, static_cast<std::size_t>(w) * h);
      UnlockVirtual(m.place);
    }
  }
  m.address = static_cast<std::uint8_t*>(LockVirtual(m.place));
  if (!m.address) ShowMessageWith(kMessageNoMaskMemory, DriverLetter(kind));
  return m.address;
}

void ReleaseMask() {
  AreaMask& m = TheProgram().area.mask;
  if (m.address) UnlockVirtual(m.place);
  m.address = nullptr;
  Ctx().mask = nullptr;
}

void ReleaseUndo() {
  ApplyContext& c = Ctx();
  if (c.undo) UnlockImage(c.undo);
  if (c.splatPass) FreeImage(c.undo);
  c.undo = nullptr;
}

// Stopped: everything released, the image back as the undo copy has it.
int Stop(ImageRecord* image) {
  ApplyContext& c = Ctx();
  EndProgress();
  ReleaseMask();
  UnlockImage(image);
  ImageRecord* copy = c.undo;
  if (copy && c.splatPass) {
    SwapWithLayer(image, copy, "Undo");
    ReleaseUndo();
    return 1;
  }
  ReleaseUndo();
  if (copy && copy->parent == image && TheProgram().undo.latest == copy) UndoLatest(image);
  return 1;
}

bool TakesUndoAlways(ApplyKind kind) {
  return kind == ApplyKind::Generation || kind == ApplyKind::Warp || kind == ApplyKind::Image;
}

inline std::uint8_t* Pixel(ImageRecord* image, int x, int y) { return PixelAt(image, x, y); }
inline std::uint8_t MaskAt(const ApplyContext& c, int x, int y) {
  return c.mask[static_cast<std::size_t>(y) * c.image->width + x];
}

int PointLoop(ApplyContext& c) {
  PointWorker worker = c.routines.pointWorker;
  for (int y = c.y0; y <= c.y1; ++y) {
    if (Progress(y - c.y0) != 0) return 1;
    std::uint8_t* p = Pixel(c.image, c.x0, y);
    const std::uint8_t* m = c.mask + static_cast<std::size_t>(y) * c.image->width + c.x0;
    for (int x = c.x0; x <= c.x1; ++x, p += 4, ++m)
      if (*m) worker(p, *m);
  }
  return 0;
}

int ValueLoop(ApplyContext& c) {
  ValueWorker worker = c.routines.valueWorker;
  for (int y = c.y0; y <= c.y1; ++y) {
    if (Progress(y - c.y0) != 0) return 1;
    std::uint8_t* p = Pixel(c.image, c.x0, y);
    const std::uint8_t* mp = c.mask + static_cast<std::size_t>(y) * c.image->width + c.x0;
    for (int x = c.x0; x <= c.x1; ++x, p += 4, ++mp) {
      const int m = *mp;
      if (!m) continue;
      std::uint8_t in[4] = {p[0], p[1], p[2], p[3]};
      if (c.affectAlpha) in[0] = in[1] = in[2] = p[3];
      std::uint32_t value;
      std::memcpy(&value, in, 4);
      std::uint32_t out = worker(value);
      std::uint8_t e[4];
      std::memcpy(e, &out, 4);
      const int k = 255 - m;
      if (!c.affectAlpha) {
        p[0] = static_cast<std::uint8_t>((e[0] * m + p[0] * k) / 255);
        p[1] = static_cast<std::uint8_t>((e[1] * m + p[1] * k) / 255);
        p[2] = static_cast<std::uint8_t>((e[2] * m + p[2] * k) / 255);
      } else {
        p[3] = static_cast<std::uint8_t>((p[3] * k + m * ((e[0] + e[1] + e[2]) / 3)) / 255);
      }
    }
  }
  return 0;
}

int PixelLoop(ApplyContext& c) {
  PixelWorker worker = c.routines.pixelWorker;
  for (int y = c.y0; y <= c.y1; ++y) {
    if (Progress(y - c.y0) != 0) return 1;
    for (int x = c.x0; x <= c.x1; ++x)
      if (int m = MaskAt(c, x, y)) worker(Pixel(c.image, x, y), x, y, m);
  }
  return 0;
}

int GenerationLoop(ApplyContext& c) {
  if (c.routines.prePass) c.routines.prePass();
  const int count = c.generationCount < 1 ? 1 : c.generationCount;
  const std::size_t maskBytes = static_cast<std::size_t>(c.image->width) * c.image->height;
  std::uint8_t* saved = nullptr;
  if (count > 1) {
    saved = static_cast<std::uint8_t*>(AllocReal(static_cast<std::int64_t>(maskBytes) + 16, "msk2"));
    if (!saved) {
      ShowMessageWith(kMessageNoMemory, LoadString(kForGenerations));
      return 2;  // a failure, not a stop
    }
    std::memcpy(saved, c.mask, maskBytes);
  }
  c.nextMask = saved;
  PixelWorker worker = c.routines.pixelWorker;
  int result = 0;
  for (int g = 0; g < count && result == 0; ++g) {
    c.generation = g;
    for (int y = c.y0; y <= c.y1 && result == 0; ++y) {
      if (Progress(y - c.y0) != 0) {
        result = 1;
        break;
      }
      for (int x = c.x0; x <= c.x1; ++x) worker(Pixel(c.image, x, y), x, y, MaskAt(c, x, y));
    }
    if (saved) std::memcpy(c.mask, saved, maskBytes);
  }
  c.nextMask = nullptr;
  FreeReal(saved, "msk2");
  return result;
}

}  // namespace

std::int32_t* LookupTable(int channel) {
  std::int32_t*& t = Pipeline().tables[channel];
  if (!t) t = AllocRealArray<std::int32_t>(256, kTableTags[channel]);
  return t;
}

void LookupTableWorker(std::uint8_t* p, int m) {
  const ApplyState& s = Pipeline();
  const std::int32_t* tr = s.tables[0];
  const std::int32_t* tg = s.tables[1];
  const std::int32_t* tb = s.tables[2];
  const int k = 255 - m;
  if (!s.ctx.affectAlpha) {
    if (m == 255) {
      p[0] = static_cast<std::uint8_t>(tr[p[0]]);
      p[1] = static_cast<std::uint8_t>(tg[p[1]]);
      p[2] = static_cast<std::uint8_t>(tb[p[2]]);
      return;
    }
    p[0] = static_cast<std::uint8_t>((tr[p[0]] * m + p[0] * k) / 255);
    p[1] = static_cast<std::uint8_t>((tg[p[1]] * m + p[1] * k) / 255);
    p[2] = static_cast<std::uint8_t>((tb[p[2]] * m + p[2] * k) / 255);
  } else {
    const int a = p[3];
    const int r = (tr[a] * m + a * k) / 255;
    const int g = (tg[a] * m + a * k) / 255;
    const int b = (tb[a] * m + a * k) / 255;
    p[3] = static_cast<std::uint8_t>(r / 3 + g / 3 + b / 3);
  }
}

int RunDriver(ApplyKind kind) {
  ApplyContext& c = Ctx();
  ImageRecord* image = c.image;
  if (!image || LockImage(image) != 0) {
    ShowMessage(kMessageNoRealMemory);
    return 1;
  }
  c.mask = LockDriverMask(image, kind);
  if (!c.mask) {
    UnlockImage(image);
    return 1;
  }
  BeginProgress(std::string(LoadString(static_cast<int>(c.op))), c.y1 - c.y0 + 1);
  c.undo = nullptr;
  if (kind != ApplyKind::Inspect) {
    UndoState& u = TheProgram().undo;
    DropRedoLayers(image);
    if (c.splatPass) {
      // Always a copy, so that a stop can put the pass back.
      c.undo = CopyUndoRectangle(c.x0, c.y0, c.x1, c.y1, image);
      if (!c.undo && TakesUndoAlways(kind)) {
        EndProgress();
        ReleaseMask();
        UnlockImage(image);
        return 1;
      }
    } else if (TakesUndoAlways(kind) || u.levels > 0) {
      u.latest = nullptr;
      if (TakeUndo(c.x0, c.y0, c.x1, c.y1, image, static_cast<int>(c.op)) == 0) {
        c.undo = u.latest;
      } else if (TakesUndoAlways(kind)) {
        EndProgress();
        ReleaseMask();
        UnlockImage(image);
        return 1;
      }
    }
  }

  int result = 0;
  switch (kind) {
    case ApplyKind::Point: result = PointLoop(c); break;
    case ApplyKind::Value: result = ValueLoop(c); break;
    case ApplyKind::Pixel:
    case ApplyKind::Warp: result = PixelLoop(c); break;
    case ApplyKind::Generation: result = GenerationLoop(c); break;
    case ApplyKind::Image: result = c.routines.imageWorker(image->pixels, c.mask) != 0 ? 1 : 0; break;
    case ApplyKind::Inspect: result = c.routines.imageWorker(image->pixels, c.mask) != 0 ? 1 : 0; break;
  }
  if (result == 1 && kind != ApplyKind::Inspect) return Stop(image);
  EndProgress();
  ReleaseMask();
  UnlockImage(image);
  ReleaseUndo();
  return result == 0 ? 0 : 1;
}

}  // namespace qv
