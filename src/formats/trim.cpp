// TRIM channel streams. Per channel: a rank table (one coded block of 256
// delta-coded error codes, most frequent first), then one coded block per
// 16 x 16 tile, band by band, each symbol the frequency rank of the pixel's
// prediction error.
#include "formats/trim.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <numeric>

#include "base/messages.h"
#include "base/progress.h"
#include "formats/chunk_sink.h"
#include "formats/image_files.h"
#include "formats/tagged_buffer.h"
#include "store/image_record.h"

namespace qv {
namespace {

constexpr int kMessageNoRenderMemory = 0;
constexpr int kRankSymbols = 256;
constexpr int kSingleValueForm = 15;

int Zigzag(int e) { return e >= 0 ? 2 * e : -2 * e - 1; }
int Unzigzag(int k) { return (k & 1) ? -(k + 1) / 2 : k / 2; }
// A difference of two bytes, wrapped to -128..127.
int Wrap(int v) {
  v &= 255;
  return v >= 128 ? v - 256 : v;
}
int Ones(int width) { return (1 << width) - 1; }
int Cap(int m) { return std::min(m, 256); }

// The prediction of channel value (x, y) from its rebuilt neighbours; row
// points at the pixel's row, up at the row above (null on the top row).
inline int Predict(const std::uint8_t* row, const std::uint8_t* up, int x) {
  if (!up) return x == 0 ? 0 : row[(x - 1) * 4];
  if (x == 0) return up[0];
  int l = row[(x - 1) * 4], u = up[x * 4], ul = up[(x - 1) * 4];
  return std::abs(u - ul) > std::abs(l - ul) ? u : l;
}

// Bits packed from the most significant bit of each byte down, into a
// buffer of fixed size; a write past its end marks it failed.
struct BitOut {
  std::uint8_t* data;
  std::size_t capacity;
  std::size_t pos = 0;
  std::uint32_t acc = 0;
  int pending = 0;
  bool ok = true;

  void Byte(std::uint8_t b) {
    if (pos < capacity) data[pos++] = b;
    else ok = false;
  }
  void Bits(std::uint32_t value, int count) {
    acc = (acc << count) | value;
    pending += count;
    while (pending >= 8) {
      pending -= 8;
      Byte(static_cast<std::uint8_t>(acc >> pending));
    }
    acc &= (1u << pending) - 1;
  }
  void Align() {
    if (pending) Byte(static_cast<std::uint8_t>(acc << (8 - pending)));
    pending = 0;
    acc = 0;
  }
};

struct BitIn {
  std::span<const std::uint8_t> data;
  std::size_t pos;
  int used = 0;  // bits of data[pos] already taken
  bool ok = true;

  std::uint32_t Bits(int count) {
    std::uint32_t v = 0;
    for (int i = 0; i < count; ++i) {
      if (pos >= data.size()) {
        ok = false;
        return 0;
      }
      v = (v << 1) | ((data[pos] >> (7 - used)) & 1u);
      if (++used == 8) used = 0, ++pos;
    }
    return v;
  }
  std::size_t AlignedEnd() const { return used ? pos + 1 : pos; }
};

// The form of a block: tier widths a, b, c, d (0 where absent).
struct Form {
  int a = 8, b = 0, c = 0, d = 0;
  int HeaderBytes() const { return (b == 0 || b == 8) ? 1 : 2; }
};

void PutSymbol(BitOut& o, const Form& f, int s, int m1, int m2, int m3) {
  if (f.a == 8 || s < m1) return o.Bits(static_cast<std::uint32_t>(s), f.a);
  o.Bits(static_cast<std::uint32_t>(Ones(f.a)), f.a);
  if (f.b == 8) return o.Bits(static_cast<std::uint32_t>(s - m1), 8);
  if (s < m2) return o.Bits(static_cast<std::uint32_t>(s - m1), f.b);
  o.Bits(static_cast<std::uint32_t>(Ones(f.b)), f.b);
  if (f.c == 8) return o.Bits(static_cast<std::uint32_t>(s - m2), 8);
  if (s < m3) return o.Bits(static_cast<std::uint32_t>(s - m2), f.c);
  o.Bits(static_cast<std::uint32_t>(Ones(f.c)), f.c);
  o.Bits(static_cast<std::uint32_t>(s - m3), 8);
}

// The smallest form for the symbols, as the writer has always chosen it:
// the earliest of equal sizes wins, and a block that would not be smaller
// than its symbols as bytes is written as bytes.
void CodeBlock(const std::uint8_t* s, int n, BitOut& o) {
  std::array<int, 257> below{};  // below[k]: symbols below k
  bool allEqual = true;
  for (int i = 0; i < n; ++i) {
    ++below[s[i] + 1];
    allEqual = allEqual && s[i] == s[0];
  }
  if (allEqual) {
    o.Byte(kSingleValueForm << 4);
    o.Byte(s[0]);
    return;
  }
  for (int k = 1; k <= 256; ++k) below[k] += below[k - 1];
  auto C = [&](int k) { return static_cast<std::int64_t>(below[Cap(k)]); };
  const std::int64_t all = n;
  std::int64_t best = 2 * all;
  Form chosen;
  bool found = false;
  auto consider = [&](std::int64_t bits, Form f) {
    std::int64_t size = (bits + 7) / 8;
    if (size < best) best = size, chosen = f, found = true;
  };
  for (int a = 1; a <= 7; ++a) {
    const int m1 = Ones(a);
    consider((all - C(m1)) * (a + 8) + C(m1) * a, {a, 8, 0, 0});
    for (int b = a; b <= 7; ++b) {
      const int m2 = Cap(m1 + Ones(b));
      consider(C(m1) * a + (C(m2) - C(m1)) * (a + b) + (all - C(m2)) * (a + b + 8), {a, b, 8, 0});
      for (int c = b; c <= 7; ++c) {
        const int m3 = Cap(m2 + Ones(c));
        consider(C(m1) * a + (C(m2) - C(m1)) * (a + b) + (C(m3) - C(m2)) * (a + b + c) + (all - C(m3)) * (a + b + c + 8),
                 {a, b, c, 8});
      }
    }
  }
  if (!found || best + chosen.HeaderBytes() > all) {
    o.Byte(0x80);
    for (int i = 0; i < n; ++i) o.Byte(s[i]);
    return;
  }
  o.Byte(static_cast<std::uint8_t>((chosen.a << 4) | chosen.b));
  if (chosen.HeaderBytes() == 2) o.Byte(static_cast<std::uint8_t>((chosen.c << 4) | chosen.d));
  const int m1 = Ones(chosen.a);
  const int m2 = Cap(m1 + Ones(chosen.b));
  const int m3 = Cap(m2 + Ones(chosen.c));
  for (int i = 0; i < n; ++i) PutSymbol(o, chosen, s[i], m1, m2, m3);
  o.Align();
}

// Largest size a channel stream can take: the rank table as plain bytes,
// every block at one byte more than its symbols, and the padding. Thin
// pictures have many small blocks, so the block count matters.
std::uint64_t WorstStreamBytes(int width, int height) {
  std::uint64_t pixels = std::uint64_t(width) * std::uint64_t(height);
  std::uint64_t blocks = std::uint64_t((width + kTrimBlock - 1) / kTrimBlock) * ((height + kTrimBlock - 1) / kTrimBlock);
  return pixels + blocks + (kRankSymbols + 1) + 2;
}

int Bands(int height) { return (height + kTrimBlock - 1) / kTrimBlock; }

}  // namespace

void EncodeTrimBlock(std::span<const std::uint8_t> symbols, std::vector<std::uint8_t>& out) {
  if (symbols.empty()) return;
  std::vector<std::uint8_t> buffer(symbols.size() + 2);
  BitOut o{buffer.data(), buffer.size()};
  CodeBlock(symbols.data(), static_cast<int>(symbols.size()), o);
  out.insert(out.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(o.pos));
}

bool DecodeTrimBlock(std::span<const std::uint8_t> data, std::size_t& pos, std::span<std::uint8_t> symbols) {
  if (pos >= data.size()) return false;
  const int h1 = data[pos++];
  const int a = h1 >> 4, b = h1 & 15;
  if (a == kSingleValueForm) {
    if (b != 0 || pos >= data.size()) return false;
    std::fill(symbols.begin(), symbols.end(), data[pos++]);
    return true;
  }
  int c = 0, d = 0;
  if (a > 8 || b > 8) return false;
  if (b != 0 && b != 8) {
    if (pos >= data.size()) return false;
    c = data[pos] >> 4;
    d = data[pos] & 15;
    ++pos;
    if (c > 8 || d > 8) return false;
  }
  const int m1 = Cap(Ones(a));
  const int m2 = Cap(m1 + Ones(b));
  const int m3 = Cap(m2 + Ones(c));
  BitIn in{data, pos};
  for (auto& out : symbols) {
    int s;
    int v = static_cast<int>(in.Bits(a));
    if (a != 8 && v == Ones(a)) {
      int w = static_cast<int>(in.Bits(b));
      if (b != 8 && w == Ones(b)) {
        int x = static_cast<int>(in.Bits(c));
        if (c != 8 && x == Ones(c)) s = static_cast<int>(in.Bits(d)) + m3;
        else s = x + m2;
      } else {
        s = w + m1;
      }
    } else {
      s = v;
    }
    out = static_cast<std::uint8_t>(s & 255);
  }
  if (!in.ok) return false;
  pos = in.AlignedEnd();
  return true;
}

bool IsGrayPicture(ImageRecord* image) {
  if (!image || LockImage(image) != 0) return false;
  bool gray = true;
  for (int y = 0; y < image->height && gray; ++y) {
    const std::uint8_t* p = PixelAt(image, 0, y);
    for (int x = 0; x < image->width; ++x, p += 4)
      if (p[0] != p[1] || p[0] != p[2]) {
        gray = false;
        break;
      }
  }
  UnlockImage(image);
  return gray;
}

std::uint64_t EncodeTrim(ChunkSink& out, ImageRecord* image, bool mono) {
  if (!image || LockImage(image) != 0) return 0;
  const int width = image->width, height = image->height;
  const std::size_t pixels = std::size_t(width) * std::size_t(height);
  TaggedBuffer ranks(static_cast<std::int64_t>(pixels), "trmb");
  if (!ranks) {
    UnlockImage(image);
    ShowNote("Not enough memory for new buffer");
    return 0;
  }
  const std::uint64_t worst = WorstStreamBytes(width, height);
  TaggedBuffer packed(static_cast<std::int64_t>(worst), "trmc");
  if (!packed) {
    UnlockImage(image);
    ShowNote("Not enough memory for new compressed area.");
    return 0;
  }
  const int channels = mono ? 1 : 3;
  BeginProgress("Saving TRIM", Bands(height) * channels);
  std::uint64_t total = 0;
  bool ok = true;
  for (int ch = 0; ch < channels && ok; ++ch) {
    // Error codes, and how often each occurs.
    std::array<std::uint32_t, 256> count{};
    for (int y = 0; y < height; ++y) {
      const std::uint8_t* row = PixelAt(image, 0, y) + ch;
      const std::uint8_t* up = y ? PixelAt(image, 0, y - 1) + ch : nullptr;
      std::uint8_t* code = ranks.data() + std::size_t(y) * width;
      for (int x = 0; x < width; ++x) {
        code[x] = static_cast<std::uint8_t>(Zigzag(Wrap(row[x * 4] - Predict(row, up, x))));
        ++count[code[x]];
      }
    }
    // Most frequent first; equal counts in code order.
    std::array<std::uint8_t, 256> order;
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int l, int r) { return count[l] > count[r]; });
    std::array<std::uint8_t, 256> rankOf{};
    std::array<std::uint8_t, 256> table{};
    int previous = 0;
    for (int r = 0; r < 256; ++r) {
      rankOf[order[r]] = static_cast<std::uint8_t>(r);
      table[r] = static_cast<std::uint8_t>(Zigzag(Wrap(order[r] - previous)));
      previous = order[r];
    }
    for (std::size_t i = 0; i < pixels; ++i) ranks[i] = rankOf[ranks[i]];

    BitOut o{packed.data(), packed.size()};
    CodeBlock(table.data(), kRankSymbols, o);
    std::array<std::uint8_t, kTrimBlock * kTrimBlock> block;
    for (int y0 = 0; y0 < height; y0 += kTrimBlock) {
      const int rows = std::min(kTrimBlock, height - y0);
      for (int x0 = 0; x0 < width; x0 += kTrimBlock) {
        const int cols = std::min(kTrimBlock, width - x0);
        int n = 0;
        for (int y = y0; y < y0 + rows; ++y)
          for (int x = x0; x < x0 + cols; ++x) block[n++] = ranks[std::size_t(y) * width + x];
        CodeBlock(block.data(), n, o);
      }
      Progress(ch * Bands(height) + y0 / kTrimBlock);
    }
    if (o.pos & 1) o.Byte(0);
    ok = o.ok && out.Write(packed.data(), o.pos);
    total += o.pos;
  }
  EndProgress();
  UnlockImage(image);
  if (!ok) {
    ShowNote("Problem writing image chunk.");
    return 0;
  }
  return total;
}

int DecodeTrim(ImageRecord* image, std::span<const std::uint8_t> chunk, bool mono) {
  if (!image || LockImage(image) != 0) return 1;
  TaggedBuffer work(2 * kRankSymbols + kTrimBlock * kTrimBlock, "trmd");
  if (!work) {
    UnlockImage(image);
    ShowMessage(kMessageNoRenderMemory);
    return 1;
  }
  std::span<std::uint8_t> table(work.data(), kRankSymbols);
  std::span<std::uint8_t> symbols(work.data() + kRankSymbols, kTrimBlock * kTrimBlock);
  std::array<int, 256> rankError{};
  const int width = image->width, height = image->height;
  const int channels = mono ? 1 : 3;
  BeginProgress("Loading TRIM", Bands(height) * channels);
  std::size_t pos = 0;
  bool ok = true;
  for (int ch = 0; ch < channels && ok; ++ch) {
    if (pos & 1) ++pos;
    ok = DecodeTrimBlock(chunk, pos, table);
    int code = 0;
    for (int r = 0; r < 256 && ok; ++r) {
      code = (code + Unzigzag(table[r])) & 255;
      rankError[r] = Unzigzag(code);
    }
    for (int y0 = 0; y0 < height && ok; y0 += kTrimBlock) {
      const int rows = std::min(kTrimBlock, height - y0);
      for (int x0 = 0; x0 < width && ok; x0 += kTrimBlock) {
        const int cols = std::min(kTrimBlock, width - x0);
        ok = DecodeTrimBlock(chunk, pos, symbols.first(std::size_t(rows) * cols));
        int k = 0;
        for (int y = y0; y < y0 + rows && ok; ++y) {
          std::uint8_t* row = PixelAt(image, 0, y) + ch;
          const std::uint8_t* up = y ? PixelAt(image, 0, y - 1) + ch : nullptr;
          for (int x = x0; x < x0 + cols; ++x)
            row[x * 4] = static_cast<std::uint8_t>(Predict(row, up, x) + rankError[symbols[k++]]);
        }
      }
      Progress(ch * Bands(height) + y0 / kTrimBlock);
    }
  }
  EndProgress();
  if (ok && mono) {
    for (int y = 0; y < height; ++y) {
      std::uint8_t* p = PixelAt(image, 0, y);
      for (int x = 0; x < width; ++x, p += 4) p[1] = p[2] = p[0];
    }
  }
  if (ok) {
    std::snprintf(image->format, sizeof image->format, "TRIM");
    image->fileType = kFileTrm;
    image->bitDepth = 24;
  }
  UnlockImage(image);
  if (!ok) ShowNote("TRIM image data is damaged.");
  return ok ? 0 : 1;
}

}  // namespace qv
