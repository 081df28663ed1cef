#pragma once

// Helpers shared by the TIFF tests: a small independent TIFF builder and
// parser, image factories and comparisons.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/formats/settings.h"
#include "pgraphic/formats/tiff.h"
#include "platform/messagebox.h"
#include "platform/stream.h"

namespace tifftest {

inline void Put16(std::vector<uint8_t>& d, size_t pos, uint32_t v, bool mm) {
  if (mm) {
    d[pos] = static_cast<uint8_t>(v >> 8);
    d[pos + 1] = static_cast<uint8_t>(v);
  } else {
    d[pos] = static_cast<uint8_t>(v);
    d[pos + 1] = static_cast<uint8_t>(v >> 8);
  }
}
inline void Put32(std::vector<uint8_t>& d, size_t pos, uint32_t v, bool mm) {
  for (int i = 0; i < 4; ++i) d[pos + (mm ? 3 - i : i)] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint32_t Get16(const std::vector<uint8_t>& d, size_t pos, bool mm) {
  return mm ? (d[pos] << 8) | d[pos + 1] : d[pos] | (d[pos + 1] << 8);
}
inline uint32_t Get32(const std::vector<uint8_t>& d, size_t pos, bool mm) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(d[pos + (mm ? 3 - i : i)]) << (8 * i);
  return v;
}

// Builds a TIFF file: data blobs first, then one directory per image.
struct TiffBuilder {
  struct Entry {
    uint16_t Tag;
    uint16_t Type;
    std::vector<uint32_t> Values;
    uint32_t CountOverride = 0xFFFFFFFF;
  };
  bool MM = false;
  std::vector<uint8_t> Data;
  std::vector<std::vector<Entry>> Images{1};

  explicit TiffBuilder(bool mm = false) : MM(mm), Data(8, 0) {
    Data[0] = Data[1] = mm ? 'M' : 'I';
    Put16(Data, 2, 42, mm);
  }
  // Appends raw bytes (word aligned); returns their offset.
  uint32_t Blob(const std::vector<uint8_t>& bytes) {
    if (Data.size() & 1) Data.push_back(0);
    const uint32_t off = static_cast<uint32_t>(Data.size());
    Data.insert(Data.end(), bytes.begin(), bytes.end());
    return off;
  }
  TiffBuilder& Add(uint16_t tag, uint16_t type, std::vector<uint32_t> values) {
    Images.back().push_back({tag, type, std::move(values)});
    return *this;
  }
  TiffBuilder& Short(uint16_t tag, uint32_t v) { return Add(tag, 3, {v}); }
  TiffBuilder& Long(uint16_t tag, uint32_t v) { return Add(tag, 4, {v}); }
  void NextImage() { Images.emplace_back(); }

  // A standard image directory around one or more strips.
  void Basic(uint32_t w, uint32_t h, uint32_t photometric, std::vector<uint32_t> bps, uint32_t compression,
             std::vector<uint32_t> stripOffsets, uint32_t rowsPerStrip) {
    Long(256, w).Long(257, h).Add(258, 3, bps).Short(259, compression).Short(262, photometric);
    Add(273, 4, stripOffsets).Short(277, static_cast<uint32_t>(bps.size()));
    if (rowsPerStrip) Long(278, rowsPerStrip);
    std::vector<uint32_t> counts(stripOffsets.size(), 0);
    Add(279, 4, counts);
  }

  std::vector<uint8_t> Build() const {
    std::vector<uint8_t> d = Data;
    size_t prevNextField = 4;
    for (const auto& entries : Images) {
      if (d.size() & 1) d.push_back(0);
      const size_t ifd = d.size();
      Put32(d, prevNextField, static_cast<uint32_t>(ifd), MM);
      d.resize(ifd + 2 + 12 * entries.size() + 4, 0);
      Put16(d, ifd, static_cast<uint32_t>(entries.size()), MM);
      for (size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        const size_t p = ifd + 2 + 12 * i;
        // Values are stored as BYTEs, SHORTs or 32-bit words (two per RATIONAL).
        const int elem = e.Type == 1 ? 1 : e.Type == 3 ? 2 : 4;
        const uint32_t count = e.CountOverride != 0xFFFFFFFF ? e.CountOverride
                               : e.Type == 5                  ? static_cast<uint32_t>(e.Values.size() / 2)
                                                              : static_cast<uint32_t>(e.Values.size());
        Put16(d, p, e.Tag, MM);
        Put16(d, p + 2, e.Type, MM);
        Put32(d, p + 4, count, MM);
        std::vector<uint8_t> raw(e.Values.size() * elem, 0);
        for (size_t k = 0; k < e.Values.size(); ++k) {
          if (elem == 1) raw[k] = static_cast<uint8_t>(e.Values[k]);
          else if (elem == 2) Put16(raw, 2 * k, e.Values[k], MM);
          else Put32(raw, 4 * k, e.Values[k], MM);
        }
        if (raw.size() <= 4) {
          for (size_t k = 0; k < raw.size(); ++k) d[p + 8 + k] = raw[k];
        } else {
          if (d.size() & 1) d.push_back(0);
          const uint32_t off = static_cast<uint32_t>(d.size());
          d.insert(d.end(), raw.begin(), raw.end());
          Put32(d, p + 8, off, MM);
        }
      }
      prevNextField = ifd + 2 + 12 * entries.size();
    }
    return d;
  }
};

// An independent parse of the directories a file holds (for layout checks).
struct ParsedIFD {
  uint32_t Offset = 0;
  std::map<uint16_t, std::pair<uint16_t, std::vector<uint32_t>>> Tags;  // tag -> (type, values)
  uint32_t One(uint16_t tag) const {
    auto it = Tags.find(tag);
    return it == Tags.end() || it->second.second.empty() ? 0 : it->second.second[0];
  }
  const std::vector<uint32_t>& Many(uint16_t tag) const { return Tags.at(tag).second; }
};

inline std::vector<ParsedIFD> ParseTiff(const std::vector<uint8_t>& d, bool& mm) {
  mm = d.at(0) == 'M';
  std::vector<ParsedIFD> out;
  uint32_t off = Get32(d, 4, mm);
  while (off != 0 && out.size() < 100) {
    ParsedIFD ifd;
    ifd.Offset = off;
    const uint32_t n = Get16(d, off, mm);
    for (uint32_t i = 0; i < n; ++i) {
      const size_t p = off + 2 + 12 * i;
      const uint16_t tag = static_cast<uint16_t>(Get16(d, p, mm)), type = static_cast<uint16_t>(Get16(d, p + 2, mm));
      const uint32_t count = Get32(d, p + 4, mm);
      const int elem = type == 1 ? 1 : type == 3 ? 2 : type == 5 ? 8 : 4;
      size_t src = static_cast<size_t>(count) * elem <= 4 ? p + 8 : Get32(d, p + 8, mm);
      std::vector<uint32_t> vals;
      for (uint32_t k = 0; k < count * (type == 5 ? 2u : 1u); ++k) {
        if (elem == 1) vals.push_back(d.at(src + k));
        else if (elem == 2) vals.push_back(Get16(d, src + 2 * k, mm));
        else vals.push_back(Get32(d, src + 4 * k, mm));
      }
      ifd.Tags[tag] = {type, vals};
    }
    off = Get32(d, off + 2 + 12 * n, mm);
    out.push_back(std::move(ifd));
  }
  return out;
}

// Test images of every colour resolution the writer takes.
enum class Res { BW, Gray16, Sys16, Colors16, Gray256, Colors256, True };

inline std::vector<Res> AllRes() {
  return {Res::BW, Res::Gray16, Res::Sys16, Res::Colors16, Res::Gray256, Res::Colors256, Res::True};
}
inline const char* ResName(Res r) {
  static const char* n[] = {"BW", "Gray16", "Sys16", "Colors16", "Gray256", "Colors256", "True"};
  return n[static_cast<int>(r)];
}

inline void MakeImage(TPixelGraphic& g, Res res, int w, int h, uint32_t seed = 1) {
  std::mt19937 rng(seed);
  switch (res) {
    case Res::BW: g.SetSize(w, h, bc1Bit); g.SetPaletteIdent(pBlackWhite); break;
    case Res::Gray16: g.SetSize(w, h, bc4Bit); g.SetPaletteIdent(pGray16); break;
    case Res::Sys16: g.SetSize(w, h, bc4Bit); g.SetPaletteIdent(pSys16); break;
    case Res::Colors16: g.SetSize(w, h, bc4Bit); break;
    case Res::Gray256: g.SetSize(w, h, bc8Bit); g.SetPaletteIdent(pGray256); break;
    case Res::Colors256: g.SetSize(w, h, bc8Bit); break;
    case Res::True: g.SetSize(w, h, bc24Bit); break;
  }
  if (res == Res::Colors16 || res == Res::Colors256) {
    const int n = res == Res::Colors16 ? 16 : 256;
    g.SetPaletteCount(n);
    for (int i = 0; i < n; ++i) g.SetPaletteColor(i, rng() & 0xFFFFFF);
  }
  const uint32_t mask = g.BitCount() == bc24Bit ? 0xFFFFFF : g.BitCount() == bc8Bit ? 0xFF
                        : g.BitCount() == bc4Bit                               ? 0x0F
                                                                                : 0x01;
  // Mix runs and noise so that PackBits meets every packet kind.
  for (int y = 0; y < h; ++y) {
    uint32_t v = rng() & mask;
    for (int x = 0; x < w; ++x) {
      if (rng() % 4 == 0) v = rng() & mask;
      g.SetPixels(x, y, v);
    }
  }
  g.DetectPaletteIdent();
}

inline void ExpectSamePixels(const TPixelGraphic& a, const TPixelGraphic& b) {
  ASSERT_EQ(a.Width(), b.Width());
  ASSERT_EQ(a.Height(), b.Height());
  ASSERT_EQ(a.BitCount(), b.BitCount());
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      ASSERT_EQ(a.Pixels(x, y), b.Pixels(x, y)) << "at " << x << "," << y;
}

inline void ExpectSamePalette(const TPixelGraphic& a, const TPixelGraphic& b) {
  ASSERT_EQ(a.PaletteCount(), b.PaletteCount());
  for (int i = 0; i < a.PaletteCount(); ++i) EXPECT_EQ(a.PaletteData()[i], b.PaletteData()[i]) << "entry " << i;
}

inline std::vector<uint8_t> WriteTiff(TPixelGraphic& g) {
  TMemoryStream s;
  TTIFFileFormatWriter w;
  w.WriteGraphic(s, g);
  return s.Data();
}

// One file holding every given image, in order (one directory each).
inline std::vector<uint8_t> WriteTiffImages(std::initializer_list<TPixelGraphic*> images) {
  TMemoryStream s;
  TTIFFileFormatWriter w;
  w.BeginFile(s);
  for (TPixelGraphic* g : images) w.WriteImage(s, *g);
  w.EndFile(s);
  return s.Data();
}

inline void ReadTiff(const std::vector<uint8_t>& data, TPixelGraphic& g, int index = 0) {
  TReadOnlyMemoryStream s(data.data(), static_cast<int64_t>(data.size()));
  TTIFFileFormatReader r;
  r.ReadGraphic(s, g, index);
  g.DetectPaletteIdent();
}

// Runs f and returns the message of the TIFF reader or writer exception it raised.
template <typename E = EPixelGraphic>
std::string Message(const std::function<void()>& f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  return "<no exception>";
}

// Settings and message box hook back to their defaults after every test.
class TiffTest : public ::testing::Test {
protected:
  void SetUp() override { PGResetFormatSettings(); }
  void TearDown() override {
    PGResetFormatSettings();
    platform::SetMessageBoxHook({});
  }
};

} // namespace tifftest
