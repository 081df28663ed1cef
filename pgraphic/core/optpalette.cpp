#include "pgraphic/core/colorconv.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "pgraphic/core/palettes.h"

namespace {

// ---------------------------------------------------------------- median cut

// Histogram over the 32 x 64 x 32 grid (R div 8, G div 4, B div 8) with
// counters that stop at 65 535: cell (r << 11) | (g << 5) | b.
class THistogram {
public:
  THistogram() : FCount(new uint16_t[65536]()) {}
  uint16_t* Data() { return FCount.get(); }
  uint16_t At(int r, int g, int b) const { return FCount[(r << 11) | (g << 5) | b]; }

private:
  std::unique_ptr<uint16_t[]> FCount;
};

struct TBox {
  int rMin, rMax, gMin, gMax, bMin, bMax;
  int64_t d = 0;  // weighted squared diagonal
  int64_t v = 0;  // number of cells
};

bool PlaneR(const THistogram& h, const TBox& x, int r) {
  for (int g = x.gMin; g <= x.gMax; ++g)
    for (int b = x.bMin; b <= x.bMax; ++b)
      if (h.At(r, g, b)) return true;
  return false;
}
bool PlaneG(const THistogram& h, const TBox& x, int g) {
  for (int r = x.rMin; r <= x.rMax; ++r)
    for (int b = x.bMin; b <= x.bMax; ++b)
      if (h.At(r, g, b)) return true;
  return false;
}
bool PlaneB(const THistogram& h, const TBox& x, int b) {
  for (int r = x.rMin; r <= x.rMax; ++r)
    for (int g = x.gMin; g <= x.gMax; ++g)
      if (h.At(r, g, b)) return true;
  return false;
}

// Moves each bound inward to the first plane holding a counted colour (blue
// low, blue high, green low, green high, red low, red high; never narrower than
// one plane), then measures the box.
void Shrink(const THistogram& h, TBox& x) {
  while (x.bMin < x.bMax && !PlaneB(h, x, x.bMin)) ++x.bMin;
  while (x.bMax > x.bMin && !PlaneB(h, x, x.bMax)) --x.bMax;
  while (x.gMin < x.gMax && !PlaneG(h, x, x.gMin)) ++x.gMin;
  while (x.gMax > x.gMin && !PlaneG(h, x, x.gMax)) --x.gMax;
  while (x.rMin < x.rMax && !PlaneR(h, x, x.rMin)) ++x.rMin;
  while (x.rMax > x.rMin && !PlaneR(h, x, x.rMax)) --x.rMax;
  const int64_t db = (x.bMax - x.bMin) * 16, dg = (x.gMax - x.gMin) * 12, dr = (x.rMax - x.rMin) * 16;
  x.d = db * db + dg * dg + dr * dr;
  x.v = static_cast<int64_t>(x.bMax - x.bMin + 1) * (x.gMax - x.gMin + 1) * (x.rMax - x.rMin + 1);
}

std::vector<TColorRef> MedianCut(const THistogram& h, int n) {
  std::vector<TBox> boxes;
  boxes.reserve(static_cast<size_t>(n));
  TBox whole{0, 31, 0, 63, 0, 31};
  Shrink(h, whole);
  boxes.push_back(whole);
  while (static_cast<int>(boxes.size()) < n) {
    const int k = static_cast<int>(boxes.size());
    int chosen = -1;
    if (n < 2 * k) {
      // Late splits: the box with the largest spread.
      for (int i = 0; i < k; ++i)
        if (chosen < 0 || boxes[static_cast<size_t>(i)].d > boxes[static_cast<size_t>(chosen)].d) chosen = i;
      if (chosen >= 0 && boxes[static_cast<size_t>(chosen)].d == 0) chosen = -1;
    } else {
      // Early splits: the largest splittable box by volume.
      for (int i = 0; i < k; ++i) {
        const TBox& b = boxes[static_cast<size_t>(i)];
        if (b.d > 0 && (chosen < 0 || b.v > boxes[static_cast<size_t>(chosen)].v)) chosen = i;
      }
    }
    if (chosen < 0) break;
    TBox& box = boxes[static_cast<size_t>(chosen)];
    const int wR = (box.rMax - box.rMin) * 16, wG = (box.gMax - box.gMin) * 12, wB = (box.bMax - box.bMin) * 16;
    TBox upper = box;
    if (std::max(wG, wR) < wB) {
      const int m = (box.bMin + box.bMax) / 2;
      box.bMax = m;
      upper.bMin = m + 1;
    } else if (wG < wR) {
      const int m = (box.rMin + box.rMax) / 2;
      box.rMax = m;
      upper.rMin = m + 1;
    } else {
      const int m = (box.gMin + box.gMax) / 2;
      box.gMax = m;
      upper.gMin = m + 1;
    }
    Shrink(h, box);
    Shrink(h, upper);
    boxes.push_back(upper);
  }
  std::vector<TColorRef> result;
  result.reserve(boxes.size());
  for (const TBox& b : boxes) {
    int64_t total = 0, sr = 0, sg = 0, sb = 0;
    for (int r = b.rMin; r <= b.rMax; ++r)
      for (int g = b.gMin; g <= b.gMax; ++g)
        for (int bl = b.bMin; bl <= b.bMax; ++bl) {
          const int64_t c = h.At(r, g, bl);
          if (!c) continue;
          total += c;
          sr += c * (8 * r + 4);
          sg += c * (4 * g + 2);
          sb += c * (8 * bl + 4);
        }
    if (total == 0) {
      // Only an empty histogram gives an empty box; its entry is black.
      result.push_back(0);
      continue;
    }
    result.push_back(RGBColor(static_cast<unsigned>((sr + total / 2) / total),
                              static_cast<unsigned>((sg + total / 2) / total),
                              static_cast<unsigned>((sb + total / 2) / total)));
  }
  return result;
}

// ---------------------------------------------------------------- octree

class TOctree {
public:
  explicit TOctree(int maxColors) : FMaxColors(maxColors) { FRoot = NewNode(0); }

  void Insert(TColorRef color, int64_t n) {
    const int r = static_cast<int>(GetRValue(color)), g = static_cast<int>(GetGValue(color)),
              b = static_cast<int>(GetBValue(color));
    TNode* node = FRoot;
    for (;;) {
      node->n += n;
      node->sumR += n * r;
      node->sumG += n * g;
      node->sumB += n * b;
      if (node->leaf || node->level >= FLeafDepth) break;
      const int shift = 7 - node->level;
      const int child = (((r >> shift) & 1) << 2) | (((g >> shift) & 1) << 1) | ((b >> shift) & 1);
      if (node->child[child]) {
        if (node->childCount > 1 && !node->listed) Link(node);
      } else {
        TNode* c = NewNode(node->level + 1);
        if (c->level >= FLeafDepth) {
          c->leaf = true;
          ++FLeafCount;
        }
        node->child[child] = c;
        ++node->childCount;
      }
      node = node->child[child];
    }
    if (FLeafCount > FMaxColors) Reduce();
  }

  std::vector<TColorRef> Colors() const {
    std::vector<TColorRef> out;
    Collect(FRoot, out);
    return out;
  }

private:
  struct TNode {
    int level = 0;
    bool leaf = false;
    bool listed = false;
    int64_t n = 0, sumR = 0, sumG = 0, sumB = 0;
    int childCount = 0;
    TNode* child[8] = {};
    TNode* prev = nullptr;  // reducible list of the node's level
    TNode* next = nullptr;
  };

  TNode* NewNode(int level) {
    FNodes.push_back(std::make_unique<TNode>());
    TNode* node = FNodes.back().get();
    node->level = level;
    return node;
  }

  void Link(TNode* node) {
    TNode*& head = FReducible[static_cast<size_t>(node->level)];
    node->prev = nullptr;
    node->next = head;
    if (head) head->prev = node;
    head = node;
    node->listed = true;
  }

  void Unlink(TNode* node) {
    if (!node->listed) return;
    if (node->prev)
      node->prev->next = node->next;
    else
      FReducible[static_cast<size_t>(node->level)] = node->next;
    if (node->next) node->next->prev = node->prev;
    node->prev = node->next = nullptr;
    node->listed = false;
  }

  static int64_t Weight(const TNode* node) { return 2 * node->sumR + 3 * node->sumG + node->sumB; }

  // Removes the subtree below node (the nodes stay allocated until the tree
  // is destroyed, but leave every list and stop counting as leaves).
  void DeleteChildren(TNode* node) {
    for (TNode*& c : node->child) {
      if (!c) continue;
      DeleteChildren(c);
      Unlink(c);
      if (c->leaf) --FLeafCount;
      c = nullptr;
    }
    node->childCount = 0;
  }

  void MakeLeaf(TNode* node) {
    Unlink(node);
    DeleteChildren(node);
    node->leaf = true;
    ++FLeafCount;
    if (node->level < FLeafDepth - 1) FLeafDepth = node->level + 1;
  }

  void Reduce() {
    for (int level = FLeafDepth - 1; level >= 0; --level) {
      TNode* best = nullptr;
      for (TNode* node = FReducible[static_cast<size_t>(level)]; node; node = node->next)
        if (!best || Weight(node) < Weight(best)) best = node;
      if (best) {
        MakeLeaf(best);
        return;
      }
    }
    // No listed node: a node only joins its level's list when a later colour
    // passes through it, so a freshly branched node may be missing. Take the
    // deepest branching node instead (the lightest, the first in depth-first
    // order on ties), so the palette never exceeds the requested size.
    TNode* best = nullptr;
    FindBranching(FRoot, best);
    if (best) MakeLeaf(best);
  }

  static void FindBranching(TNode* node, TNode*& best) {
    if (node->leaf) return;
    if (node->childCount > 1 &&
        (!best || node->level > best->level || (node->level == best->level && Weight(node) < Weight(best))))
      best = node;
    for (TNode* c : node->child)
      if (c) FindBranching(c, best);
  }

  static void Collect(const TNode* node, std::vector<TColorRef>& out) {
    if (node->leaf) {
      if (node->n > 0)
        out.push_back(RGBColor(static_cast<unsigned>(node->sumR / node->n), static_cast<unsigned>(node->sumG / node->n),
                               static_cast<unsigned>(node->sumB / node->n)));
      return;
    }
    for (const TNode* c : node->child)
      if (c) Collect(c, out);
  }

  int FMaxColors;
  int FLeafDepth = 8;
  int FLeafCount = 0;
  TNode* FRoot = nullptr;
  std::array<TNode*, 9> FReducible{};
  std::vector<std::unique_ptr<TNode>> FNodes;
};

void SetPalette(TPixelGraphic& target, const std::vector<TColorRef>& colors) {
  target.SetPaletteCount(static_cast<int>(colors.size()));
  for (size_t i = 0; i < colors.size(); ++i) target.SetPaletteColor(static_cast<int>(i), colors[i]);
}

} // namespace

void BuildOptimizedPalette(TPixelGraphic& target, TPixelGraphic& source, int count, bool addSystemColors) {
  // A palette holds at most 256 entries.
  count = std::min(count, 256);
  const int n = addSystemColors ? count - 16 : count;
  if (source.Empty() || n < 1) {
    target.SetPaletteIdent(pSys16);
    const int keep = std::clamp(count, 0, 16);
    if (target.PaletteCount() > keep) target.SetPaletteCount(keep);
    return;
  }
  const int width = source.Width(), height = source.Height();
  std::vector<TColorRef> colors;
  if (source.BitCount() == bc24Bit) {
    THistogram hist;
    uint16_t* h = hist.Data();
    for (int y = 0; y < height; ++y) {
      const uint8_t* p = source.ScanLine(y);
      for (int x = 0; x < width; ++x, p += 3) {
        // Bytes are blue, green, red.
        uint16_t& c = h[(static_cast<unsigned>(p[2] >> 3) << 11) | (static_cast<unsigned>(p[1] >> 2) << 5) |
                        static_cast<unsigned>(p[0] >> 3)];
        c = static_cast<uint16_t>(c + (c != 0xFFFF));
      }
      if (target.DoProgress(&target, y, height - 1)) break;
    }
    colors = MedianCut(hist, n);
  } else {
    std::array<int64_t, 256> counts{};
    for (int y = 0; y < height; ++y) {
      const uint8_t* p = source.ScanLine(y);
      switch (source.BitCount()) {
        case bc8Bit:
          for (int x = 0; x < width; ++x) ++counts[p[x]];
          break;
        case bc4Bit:
          for (int x = 0; x < width; ++x) ++counts[(x & 1) ? (p[x >> 1] & 0x0F) : (p[x >> 1] >> 4)];
          break;
        default:
          for (int x = 0; x < width; ++x) ++counts[(p[x >> 3] >> (7 - (x & 7))) & 1];
          break;
      }
      if (target.DoProgress(&target, y, height - 1)) break;
    }
    TOctree tree(n);
    const int palCount = source.PaletteCount();
    const TColorRef* pal = source.PaletteData();
    for (int i = 0; i < 256; ++i) {
      if (!counts[static_cast<size_t>(i)]) continue;
      // An index beyond the palette shows entry 0, as everywhere else.
      const TColorRef c = i < palCount ? pal[i] : (palCount > 0 ? pal[0] : 0);
      tree.Insert(c, counts[static_cast<size_t>(i)]);
    }
    colors = tree.Colors();
  }
  // The palette is replaced only once the source has been read, so a target
  // that is its own source still sees its colours.
  target.SetPaletteCount(0);
  SetPalette(target, colors);
  if (addSystemColors) {
    for (int i = 0; i < 16 && target.PaletteCount() < count; ++i) {
      const int at = target.PaletteCount();
      target.SetPaletteCount(at + 1);
      target.SetPaletteColor(at, pg::SystemColors16[i]);
    }
  }
}
