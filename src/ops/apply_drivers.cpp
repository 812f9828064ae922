// The seven drivers of the apply pipeline and the look-up-table worker.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "area/area_mask.h"
#include "base/messages.h"
#include "base/progress.h"
#include "base/string_table.h"
#include "ops/apply.h"
#include "ops/apply_state.h"
#include "ops/row_bands.h"
#include "store/memory_places.h"
#include "store/undo.h"
#include "store/undo_rows.h"

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
  AreaMask& m = Area().mask;
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
  AreaMask& m = Area().mask;
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
  if (copy && copy->parent == image && UndoStack().latest == copy) UndoLatest(image);
  return 1;
}

bool TakesUndoAlways(ApplyKind kind) {
  return kind == ApplyKind::Generation || kind == ApplyKind::Warp || kind == ApplyKind::Image;
}

inline std::uint8_t* Pixel(ImageRecord* image, int x, int y) { return PixelAt(image, x, y); }
inline std::uint8_t MaskAt(const ApplyContext& c, int x, int y) {
  return c.mask[static_cast<std::size_t>(y) * c.image->width + x];
}

// Boxes smaller than this run on one thread: waking the others would cost
// more than it saves.
constexpr std::int64_t kSharedPixels = 1 << 16;

// The rows of the box, row by row on this thread or in bands over the
// worker threads when the worker allows it; progress and a stop are seen on
// this thread either way. work(y) changes row y of the image.

// The undo copy of a Point or Value box, filled row by row just before each
// row changes (the workers of those kinds never read the copy): on the
// thread that changes the row, while the row is in its cache. Rows a stop
// left unchanged are copied afterwards, so the copy is whole either way.
class RowCopies {
 public:
  RowCopies(ImageRecord* image, ImageRecord* layer, int x0, int y0)
      : image_(image), layer_(layer), x0_(x0), y0_(y0), bytes_(static_cast<std::size_t>(layer->width) * 4),
        copied_(static_cast<std::size_t>(layer->height), 0) {}
  void Row(int y) {
    const int r = y - y0_;
    std::memcpy(PixelAt(layer_, 0, r), PixelAt(image_, x0_, y), bytes_);
    copied_[static_cast<std::size_t>(r)] = 1;
  }
  // Called once the bands are over: no other thread touches the flags.
  void Rest() {
    for (int r = 0; r < layer_->height; ++r)
      if (!copied_[static_cast<std::size_t>(r)]) Row(y0_ + r);
  }
  // Every row before any changes, in bands over the threads: for workers
  // that read the copy anywhere.
  void All(int threads) {
    RunRowBands(
        layer_->height, threads,
        [this](int first, int end) {
          for (int r = first; r < end; ++r) Row(y0_ + r);
        },
        [](int) { return 0; });
  }

 private:
  ImageRecord* image_;
  ImageRecord* layer_;
  int x0_, y0_;
  std::size_t bytes_;
  std::vector<std::uint8_t> copied_;
};

template <class RowWork>
int ForBoxRows(const ApplyContext& c, RowWork work, RowCopies* copies = nullptr) {
  const std::int64_t pixels = std::int64_t{c.x1 - c.x0 + 1} * (c.y1 - c.y0 + 1);
  const int threads = !c.routines.inPixelOrder && pixels >= kSharedPixels ? RowThreads() : 1;
  const int y0 = c.y0;
  const int result = RunRowBands(
      c.y1 - c.y0 + 1, threads,
      [&](int first, int end) {
        for (int r = first; r < end; ++r) {
          if (copies) copies->Row(y0 + r);
          work(y0 + r);
        }
      },
      [](int done) { return Progress(done); });
  if (copies) copies->Rest();
  return result;
}

struct BoxRow {
  std::uint8_t* pixels;
  const std::uint8_t* mask;
};
inline BoxRow RowOf(const ApplyContext& c, int y) {
  return {Pixel(c.image, c.x0, y), c.mask + static_cast<std::size_t>(y) * c.image->width + c.x0};
}

// One row through a per-pixel worker. Everything the loop needs is a local
// here, so that nothing is reloaded after each call; eight selected pixels
// in a row skip the mask's tests.
void PointRow(PointWorker worker, std::uint8_t* p, const std::uint8_t* mask, int count) {
  int x = 0;
  for (; x + 8 <= count; x += 8, p += 32) {
    std::uint64_t eight;
    std::memcpy(&eight, mask + x, 8);
    if (eight == ~std::uint64_t{0}) {
      for (int j = 0; j < 8; ++j) worker(p + 4 * j, 255);
    } else if (eight != 0) {
      for (int j = 0; j < 8; ++j)
        if (const int m = mask[x + j]) worker(p + 4 * j, m);
    }
  }
  for (; x < count; ++x, p += 4)
    if (const int m = mask[x]) worker(p, m);
}

int PointLoop(ApplyContext& c, RowCopies* copies) {
  const PointWorker worker = c.routines.pointWorker;
  const PointRowWorker row = c.routines.pointRow;
  const int count = c.x1 - c.x0 + 1;
  return ForBoxRows(
      c,
      [&c, worker, row, count](int y) {
        const BoxRow r = RowOf(c, y);
        if (row) return row(r.pixels, r.mask, count);
        PointRow(worker, r.pixels, r.mask, count);
      },
      copies);
}

int ValueLoop(ApplyContext& c, RowCopies* copies) {
  const ValueWorker worker = c.routines.valueWorker;
  const ValueRowWorker row = c.routines.valueRow;
  const bool alpha = c.affectAlpha;
  const int count = c.x1 - c.x0 + 1;
  return ForBoxRows(c, [worker, row, alpha, count, &c](int y) {
    const BoxRow r = RowOf(c, y);
    // A few hundred values at a time through the worker, then blended back.
    constexpr int kBlock = 256;
    std::uint32_t values[kBlock];
    for (int from = 0; from < count; from += kBlock) {
      const int n = std::min(kBlock, count - from);
      std::uint8_t* p = r.pixels + std::size_t{4} * from;
      const std::uint8_t* mp = r.mask + from;
      std::memcpy(values, p, std::size_t{4} * n);
      if (alpha)
        for (int i = 0; i < n; ++i) values[i] = (values[i] >> 24) * 0x01010101u;
      if (row) {
        row(values, n);
      } else {
        for (int i = 0; i < n; ++i)
          if (mp[i]) values[i] = worker(values[i]);
      }
      for (int i = 0; i < n; ++i, p += 4) {
        const int m = mp[i];
        if (!m) continue;
        std::uint8_t e[4];
        std::memcpy(e, &values[i], 4);
        const int k = 255 - m;
        if (!alpha && m == 255) {
          p[0] = e[0], p[1] = e[1], p[2] = e[2];
        } else if (!alpha) {
          p[0] = static_cast<std::uint8_t>((e[0] * m + p[0] * k) / 255);
          p[1] = static_cast<std::uint8_t>((e[1] * m + p[1] * k) / 255);
          p[2] = static_cast<std::uint8_t>((e[2] * m + p[2] * k) / 255);
        } else {
          p[3] = static_cast<std::uint8_t>((p[3] * k + m * ((e[0] + e[1] + e[2]) / 3)) / 255);
        }
      }
    }
  }, copies);
}

int PixelLoop(ApplyContext& c) {
  const PixelWorker worker = c.routines.pixelWorker;
  const RowWorker rowWorker = c.routines.rowWorker;  // the same bytes, a call per row
  const int x0 = c.x0, count = c.x1 - c.x0 + 1;
  return ForBoxRows(c, [&c, worker, rowWorker, x0, count](int y) {
    const BoxRow r = RowOf(c, y);
    if (rowWorker) return rowWorker(r.pixels, x0, c.x1, y, r.mask);
    std::uint8_t* p = r.pixels;
    const std::uint8_t* mask = r.mask;
    for (int i = 0; i < count; ++i, p += 4)
      if (const int m = mask[i]) worker(p, x0 + i, y, m);
  });
}

// Warps with a row routine: one call per row of the box, which skips the
// pixels outside the mask itself.
int RowLoop(ApplyContext& c) {
  RowWorker worker = c.routines.rowWorker;
  if (c.routines.rowsIndependent) {
    const std::size_t width = static_cast<std::size_t>(c.image->width);
    return ForBoxRows(c, [&c, worker, width](int y) {
      worker(Pixel(c.image, c.x0, y), c.x0, c.x1, y, c.mask + static_cast<std::size_t>(y) * width + c.x0);
    });
  }
  for (int y = c.y0; y <= c.y1; ++y) {
    if (Progress(y - c.y0) != 0) return 1;
    worker(Pixel(c.image, c.x0, y), c.x0, c.x1, y, c.mask + static_cast<std::size_t>(y) * c.image->width + c.x0);
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
  RowWorker row = c.routines.rowWorker;
  int result = 0;
  for (int g = 0; g < count && result == 0; ++g) {
    c.generation = g;
    for (int y = c.y0; y <= c.y1 && result == 0; ++y) {
      if (Progress(y - c.y0) != 0) {
        result = 1;
        break;
      }
      if (row) {
        row(Pixel(c.image, c.x0, y), c.x0, c.x1, y, c.mask + static_cast<std::size_t>(y) * c.image->width + c.x0);
        continue;
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

void LookupTableRow(std::uint8_t* p, const std::uint8_t* mask, int count) {
  const ApplyState& s = Pipeline();
  const std::int32_t* tr = s.tables[0];
  const std::int32_t* tg = s.tables[1];
  const std::int32_t* tb = s.tables[2];
  if (s.ctx.affectAlpha) {
    for (int i = 0; i < count; ++i, p += 4) {
      const int m = mask[i];
      if (!m) continue;
      const int a = p[3], k = 255 - m;
      const int r = (tr[a] * m + a * k) / 255;
      const int g = (tg[a] * m + a * k) / 255;
      const int b = (tb[a] * m + a * k) / 255;
      p[3] = static_cast<std::uint8_t>(r / 3 + g / 3 + b / 3);
    }
    return;
  }
  auto full = [&](std::uint8_t* q) {
    q[0] = static_cast<std::uint8_t>(tr[q[0]]);
    q[1] = static_cast<std::uint8_t>(tg[q[1]]);
    q[2] = static_cast<std::uint8_t>(tb[q[2]]);
  };
  int i = 0;
  while (i < count) {
    // Eight fully covered pixels at a time where the mask allows it.
    if (i + 8 <= count) {
      std::uint64_t eight;
      std::memcpy(&eight, mask + i, 8);
      if (eight == ~std::uint64_t{0}) {
        for (int j = 0; j < 8; ++j) full(p + 4 * j);
        i += 8, p += 32;
        continue;
      }
    }
    const int m = mask[i];
    if (m == 255) {
      full(p);
    } else if (m) {
      const int k = 255 - m;
      p[0] = static_cast<std::uint8_t>((tr[p[0]] * m + p[0] * k) / 255);
      p[1] = static_cast<std::uint8_t>((tg[p[1]] * m + p[1] * k) / 255);
      p[2] = static_cast<std::uint8_t>((tb[p[2]] * m + p[2] * k) / 255);
    }
    ++i, p += 4;
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
  // The driver copies the box into the undo layer itself, over the worker
  // threads: Point and Value workers never read the copy, so each row is
  // copied as it is reached; for the other kinds every row first.
  const bool rowsLater = !c.splatPass && c.x0 >= 0 && c.y0 >= 0 && c.x0 <= c.x1 && c.y0 <= c.y1 &&
                         c.x1 < image->width && c.y1 < image->height;
  const bool copyAsReached = kind == ApplyKind::Point || kind == ApplyKind::Value;
  if (kind != ApplyKind::Inspect) {
    UndoState& u = UndoStack();
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
      const int taken = rowsLater ? TakeUndoRowsLater(c.x0, c.y0, c.x1, c.y1, image, static_cast<int>(c.op))
                                  : TakeUndo(c.x0, c.y0, c.x1, c.y1, image, static_cast<int>(c.op));
      if (taken == 0) {
        c.undo = u.latest;
      } else if (TakesUndoAlways(kind)) {
        EndProgress();
        ReleaseMask();
        UnlockImage(image);
        return 1;
      }
    }
  }

  if (c.undo) {
    c.copyX = c.undo->originX;
    c.copyY = c.undo->originY;
    c.copyWidth = c.undo->width;
    c.copyHeight = c.undo->height;
  }

  std::optional<RowCopies> copies;
  const bool copyOnlyToStop = kind == ApplyKind::Image && c.routines.copyOnlyToStop;
  if (rowsLater && c.undo) {
    copies.emplace(image, c.undo, c.x0, c.y0);
    if (!copyAsReached && !copyOnlyToStop) {
      const std::int64_t pixels = std::int64_t{c.x1 - c.x0 + 1} * (c.y1 - c.y0 + 1);
      copies->All(pixels >= kSharedPixels ? RowThreads() : 1);
      copies.reset();
    }
  }
  RowCopies* rowCopies = copies && copyAsReached ? &*copies : nullptr;

  int result = 0;
  switch (kind) {
    case ApplyKind::Point: result = PointLoop(c, rowCopies); break;
    case ApplyKind::Value: result = ValueLoop(c, rowCopies); break;
    case ApplyKind::Pixel: result = PixelLoop(c); break;
    case ApplyKind::Warp: result = c.routines.rowWorker ? RowLoop(c) : PixelLoop(c); break;
    case ApplyKind::Generation: result = GenerationLoop(c); break;
    case ApplyKind::Image: result = c.routines.imageWorker(image->pixels, c.mask) != 0 ? 1 : 0; break;
    case ApplyKind::Inspect: result = c.routines.imageWorker(image->pixels, c.mask) != 0 ? 1 : 0; break;
  }
  if (result == 1 && kind != ApplyKind::Inspect) {
    if (copies && copyOnlyToStop) copies->All(1);
    return Stop(image);
  }
  EndProgress();
  ReleaseMask();
  UnlockImage(image);
  ImageRecord* layer = c.splatPass ? nullptr : c.undo;
  ReleaseUndo();
  if (c.result && layer) {
    // The action image was left as it was: its copy restores nothing.
    layer->undone = 1;
    DropRedoLayers(image);
  }
  return result == 0 ? 0 : 1;
}

}  // namespace qv
