#include "pgraphic/core/pixelgraphic.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <sys/mman.h>
#include <vector>

#include "pgraphic/core/endian.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/core/palettes.h"

int64_t PGMaxImageBytes = std::numeric_limits<int32_t>::max();

namespace {

// Pixel memory of at least this size is mapped directly: the pages arrive
// zero-filled without a memset, and large pages cut the cost of touching them.
constexpr size_t kMapThreshold = size_t(1) << 20;

size_t AllocationSize(size_t bytes) {
  return bytes >= kMapThreshold ? ((bytes + 4095) & ~size_t(4095)) : bytes;
}

// The allocation size is kept in front of the pixels so the deleter knows
// how the block was obtained.
constexpr size_t kHeader = 64;

// kSlack bytes after the pixels let a 24-bit pixel be read with one 4-byte load.
constexpr size_t kSlack = 8;

// Mapped blocks kept for reuse (PGSetPixelMemoryReuse): a block taken from
// here skips the kernel's page faults and zeroing of fresh memory.
struct TReusePool {
  std::mutex Lock;
  std::vector<void*> Blocks;  // each with its mapping size in its header
  size_t Held = 0, Limit = 0;
  // Unmaps blocks (last kept first) until Held <= limit; under Lock.
  void TrimTo(size_t limit) {
    while (Held > limit && !Blocks.empty()) {
      void* b = Blocks.back();
      Blocks.pop_back();
      const size_t size = *static_cast<size_t*>(b);
      Held -= size;
      ::munmap(b, size);
    }
  }
};

TReusePool& Pool() {
  static TReusePool* pool = new TReusePool;  // never destroyed: deleters may run at exit
  return *pool;
}

// A kept block of at least total bytes and not much larger (a large block
// is not spent on a small picture), or nullptr.
void* TakeKeptBlock(size_t total) {
  TReusePool& pool = Pool();
  std::lock_guard<std::mutex> lock(pool.Lock);
  size_t best = pool.Blocks.size();
  for (size_t i = 0; i < pool.Blocks.size(); ++i) {
    const size_t size = *static_cast<size_t*>(pool.Blocks[i]);
    if (size >= total && size - total <= total / 4 &&
        (best == pool.Blocks.size() || size < *static_cast<size_t*>(pool.Blocks[best])))
      best = i;
  }
  if (best == pool.Blocks.size()) return nullptr;
  void* block = pool.Blocks[best];
  pool.Blocks.erase(pool.Blocks.begin() + static_cast<ptrdiff_t>(best));
  pool.Held -= *static_cast<size_t*>(block);
  return block;
}

// Pixel memory for bytes; zero unless clear is false and a kept block is
// reused, whose bytes are then those of the picture before.
uint8_t* AllocatePixels(size_t bytes, bool clear) {
  const size_t total = AllocationSize(bytes + kHeader + kSlack);
  void* block;
  if (total >= kMapThreshold) {
    if ((block = TakeKeptBlock(total))) {
      // The header keeps the block's own mapping size.
      if (clear) std::memset(static_cast<uint8_t*>(block) + kHeader, 0, total - kHeader);
      return static_cast<uint8_t*>(block) + kHeader;
    }
    block = ::mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) return nullptr;
#ifdef MADV_HUGEPAGE
    ::madvise(block, total, MADV_HUGEPAGE);
#endif
  } else {
    block = std::calloc(1, total);
    if (!block) return nullptr;
  }
  *static_cast<size_t*>(block) = total;
  return static_cast<uint8_t*>(block) + kHeader;
}

int TableSize(uint8_t bitCount) {
  static constexpr int sizes[4] = {2, 16, 256, 0};
  return sizes[bitCount & 3];
}

} // namespace

void TPixelGraphic::TFreeDeleter::operator()(uint8_t* p) const {
  if (!p) return;
  void* block = p - kHeader;
  const size_t total = *static_cast<size_t*>(block);
  if (total < kMapThreshold) {
    std::free(block);
    return;
  }
  TReusePool& pool = Pool();
  {
    std::lock_guard<std::mutex> lock(pool.Lock);
    if (pool.Held + total <= pool.Limit) {
      pool.Blocks.push_back(block);
      pool.Held += total;
      return;
    }
  }
  ::munmap(block, total);
}

void PGSetPixelMemoryReuse(int64_t bytes) {
  TReusePool& pool = Pool();
  std::lock_guard<std::mutex> lock(pool.Lock);
  pool.Limit = bytes > 0 ? static_cast<size_t>(bytes) : 0;
  pool.TrimTo(pool.Limit);
}

int64_t PGPixelMemoryKept() {
  TReusePool& pool = Pool();
  std::lock_guard<std::mutex> lock(pool.Lock);
  return static_cast<int64_t>(pool.Held);
}

TPixelGraphic::TPixelGraphic() = default;

TPixelGraphic::~TPixelGraphic() = default;

uint8_t TPixelGraphic::NumToBitCount(int bitCountNum) {
  switch (bitCountNum) {
    case 1:
      return bc1Bit;
    case 4:
      return bc4Bit;
    case 8:
      return bc8Bit;
    case 24:
      return bc24Bit;
    default:
      throw EPGInvalidBitCountNum(GetMessage1(msgInvalidValueFor, "BitCountNum"));
  }
}

int TPixelGraphic::PaletteSize() const { return TableSize(FBitCount); }

void TPixelGraphic::FreePixels() {
  FPixelMemory.reset();
  FBits = nullptr;
  FBitmapInfo.clear();
}

void TPixelGraphic::SetSize(int32_t width, int32_t height, uint8_t bitCount) {
  Resize(width, height, bitCount, true);
}

void TPixelGraphic::SetSizeToOverwrite(int32_t width, int32_t height, uint8_t bitCount) {
  Resize(width, height, bitCount, false);
}

void TPixelGraphic::Resize(int32_t width, int32_t height, uint8_t bitCount, bool clear) {
  if (width < 0) throw EPGInvalidSize(GetMessage(msgNegativeWidth));
  if (height < 0) throw EPGInvalidSize(GetMessage(msgNegativeHeight));
  if (bitCount > bc24Bit) throw EPGInvalidBitCountNum(GetMessage1(msgInvalidValueFor, "BitCount"));
  if (width == FWidth && height == FHeight && bitCount == FBitCount) {
    if (clear) Clear();
    return;
  }
  ReleaseCanvasDC();
  FWidth = width;
  FHeight = height;
  FBitCount = bitCount;
  FreePixels();
  // Stride and byte size in 64 bits: a width or height from a file must not
  // overflow them into an allocation that is too small.
  const int64_t bytesPerRow = PGBytesPerRow(width, BitCountToNum(bitCount));
  // (The stride is checked before it is multiplied, so the product fits 64 bits.)
  const bool strideFits = bytesPerRow <= std::numeric_limits<int32_t>::max();
  const int64_t byteSize = strideFits ? bytesPerRow * static_cast<int64_t>(height) : 0;
  if (!strideFits || byteSize > std::numeric_limits<int32_t>::max() || byteSize > PGMaxImageBytes) {
    FWidth = FHeight = 0;
    FBytesPerRow = FByteSize = 0;
    Changed();
    throw EPixelGraphic(GetMessage1(msgFailed, "CreateDIBSection"));
  }
  FBytesPerRow = static_cast<int32_t>(bytesPerRow);
  FByteSize = static_cast<int32_t>(byteSize);
  if (FByteSize != 0) {
    const int tableSize = TableSize(bitCount);
    if (PaletteCount() > tableSize) SetPaletteCount(tableSize);
    if (bitCount == bc24Bit) FPaletteIdent = pTrueColor;
    uint8_t* bits = AllocatePixels(static_cast<size_t>(FByteSize), clear);
    if (!bits) {
      FWidth = FHeight = 0;
      FBytesPerRow = FByteSize = 0;
      Changed();
      throw EPixelGraphic(GetMessage1(msgFailed, "CreateDIBSection"));
    }
    FPixelMemory.reset(bits);
    FBits = bits;
    if (!clear) {
      // The caller writes the pixels; the bytes past them in each row and
      // the slack after the last row are zero as in fresh memory.
      const int64_t used = (static_cast<int64_t>(FWidth) * BitCountToNum(bitCount) + 7) / 8;
      for (int64_t y = 0; y < FHeight && used < FBytesPerRow; ++y)
        std::memset(bits + y * FBytesPerRow + used, 0, static_cast<size_t>(FBytesPerRow - used));
      std::memset(bits + FByteSize, 0, kSlack);
    }
    FBitmapInfo.assign(40 + 4 * static_cast<size_t>(tableSize), 0);
    uint8_t* h = FBitmapInfo.data();
    pg::PutLE32(h + 0, 40);
    pg::PutLE32(h + 4, static_cast<uint32_t>(FWidth));
    pg::PutLE32(h + 8, static_cast<uint32_t>(FHeight));
    pg::PutLE16(h + 12, 1);
    pg::PutLE16(h + 14, static_cast<uint16_t>(BitCountNum()));
    pg::PutLE32(h + 16, 0);
    pg::PutLE32(h + 20, static_cast<uint32_t>(FByteSize));
    pg::PutLE32(h + 32, static_cast<uint32_t>(tableSize));
    WriteColorTable();
  }
  Changed();
}

void TPixelGraphic::WriteColorTable() {
  if (FBitmapInfo.size() <= 40) return;
  const int tableSize = static_cast<int>((FBitmapInfo.size() - 40) / 4);
  const TColorRef first = FPalette.empty() ? 0 : FPalette[0];
  uint8_t* t = FBitmapInfo.data() + 40;
  for (int i = 0; i < tableSize; ++i) {
    const TColorRef c = i < PaletteCount() ? FPalette[static_cast<size_t>(i)] : first;
    t[4 * i + 0] = static_cast<uint8_t>(GetBValue(c));
    t[4 * i + 1] = static_cast<uint8_t>(GetGValue(c));
    t[4 * i + 2] = static_cast<uint8_t>(GetRValue(c));
    t[4 * i + 3] = 0;
  }
}

void TPixelGraphic::SetWidth(int32_t value) {
  if (value != FWidth) SetSize(value, FHeight, FBitCount);
}

void TPixelGraphic::SetHeight(int32_t value) {
  if (value != FHeight) SetSize(FWidth, value, FBitCount);
}

void TPixelGraphic::SetBitCount(uint8_t value) {
  if (value != FBitCount) SetSize(FWidth, FHeight, value);
}

void TPixelGraphic::SetBitCountNum(int value) { SetBitCount(NumToBitCount(value)); }

void TPixelGraphic::ThrowIndexOutOfRange() { throw EPGXYIndexOutOfRange(GetMessage(msgXYIndexOutOfRange)); }

void TPixelGraphic::OutOfRangeWrite() const {
  if (FRaiseOnIndexError) throw EPGXYIndexOutOfRange(GetMessage(msgXYIndexOutOfRange));
}

// ---------------------------------------------------------------- palette

void TPixelGraphic::InvalidatePaletteState() {
  FMemoValid = false;
  FCacheStale = true;
  FPaletteHandleStale = true;
  FreeColorCache();
}

void TPixelGraphic::FreeColorCache() {
  FColorCache.reset();
  FColorCacheFilled.reset();
  FCacheStale = true;
  FMemoValid = false;
}

TColorRef TPixelGraphic::PaletteColors(int index) const {
  if (FPaletteIdent == pTrueColor) return static_cast<TColorRef>(index);
  if (index < 0 || index >= PaletteCount()) throw EPGInvalidPaletteIndex(GetMessage(msgInvalidPaletteIndex));
  return FPalette[static_cast<size_t>(index)];
}

void TPixelGraphic::SetPaletteColor(int index, TColorRef color) {
  if (FPaletteIdent == pNone || FPaletteIdent == pTrueColor) throw EPGNoPalette(GetMessage(msgNoPalette));
  if (index < 0 || index >= PaletteCount()) throw EPGInvalidPaletteIndex(GetMessage(msgInvalidPaletteIndex));
  ReleaseCanvasDC();
  FPalette[static_cast<size_t>(index)] = color & 0xFFFFFFu;
  WriteColorTable();
  FPaletteIdent = pUnknown;
  InvalidatePaletteState();
}

void TPixelGraphic::SetPaletteCount(int count) {
  if (count < 0 || count > 256) throw EPGInvalidPaletteIndex(GetMessage(msgInvalidPaletteIndex));
  if (count != PaletteCount()) {
    ReleaseCanvasDC();
    FPalette.resize(static_cast<size_t>(count), 0);
    FPaletteIdent = count > 0 ? pUnknown : pNone;
    if (FBitmapInfo.size() >= 40) pg::PutLE32(FBitmapInfo.data() + 32, static_cast<uint32_t>(count));
    WriteColorTable();
  }
  InvalidatePaletteState();
}

void TPixelGraphic::SetPaletteIdent(TPaletteIdent ident) {
  if (ident == FPaletteIdent) return;
  switch (ident) {
    case pNone:
    case pTrueColor:
      SetPaletteCount(0);
      FPaletteIdent = ident;
      break;
    case pUnknown:
      FPaletteIdent = ident;
      break;
    case pOptimized252Sys16:
    case pSource:
      return;  // requests, not palettes one can set
    default: {
      const std::vector<TColorRef> p = pg::StandardPalette(ident);
      SetPaletteCount(static_cast<int>(p.size()));
      std::copy(p.begin(), p.end(), FPalette.begin());
      WriteColorTable();
      FPaletteIdent = ident;
      break;
    }
  }
  InvalidatePaletteState();
}

void TPixelGraphic::CopyPalette(const TPixelGraphic& source) {
  if (&source == this) return;
  SetPaletteCount(source.PaletteCount());
  std::copy(source.FPalette.begin(), source.FPalette.end(), FPalette.begin());
  WriteColorTable();
  InvalidatePaletteState();
  DetectPaletteIdent();
}

void TPixelGraphic::DetectPaletteIdent() {
  FGrayPalette = false;
  if (FBitCount != bc24Bit) {
    FGrayPalette = std::all_of(FPalette.begin(), FPalette.end(), [](TColorRef c) {
      return GetRValue(c) == GetGValue(c) && GetGValue(c) == GetBValue(c);
    });
  }
  static constexpr TPaletteIdent order[] = {pBlackWhite, pGray4,      pSysGray4,   pGray16,     pGray236,
                                            pGray256,    pSys16,      pSpecial216, pSpecial125, pSpecial252};
  TPaletteIdent found = pNone;
  for (TPaletteIdent ident : order) {
    if (pg::IsStandardPalette(ident, FPalette.data(), PaletteCount())) {
      found = ident;
      break;
    }
  }
  if (found == pNone) {
    if (!FPalette.empty())
      found = pUnknown;
    else
      found = FBitCount == bc24Bit ? pTrueColor : pNone;
  }
  if (found != FPaletteIdent) {
    FPaletteIdent = found;
    InvalidatePaletteState();
  }
}

// ---------------------------------------------------------------- background

void TPixelGraphic::SetBackGroundColor(TColorRef color) {
  FBackGroundColor = FBitCount == bc24Bit ? (color & 0xFFFFFFu) : ColorToIndex(color);
}

TColorRef TPixelGraphic::BackGroundColorValue() const {
  if (FBitCount == bc24Bit) return FBackGroundColor;
  return FBackGroundColor < FPalette.size() ? FPalette[FBackGroundColor] : PaletteColorOutOfRange(FBackGroundColor);
}

void TPixelGraphic::Clear() {
  if (Empty()) return;
  if (FBackGroundColor == 0) {
    std::memset(FBits, 0, static_cast<size_t>(FByteSize));
  } else if (FBitCount == bc8Bit) {
    std::memset(FBits, static_cast<int>(FBackGroundColor & 0xFF), static_cast<size_t>(FByteSize));
  } else if (FBitCount == bc24Bit) {
    // One row built pixel by pixel, then copied: the same bytes as writing
    // every pixel, without touching the row padding.
    const size_t used = 3 * static_cast<size_t>(FWidth);
    uint8_t* first = RowPtr(0);
    for (int x = 0; x < FWidth; ++x) SetPixels(x, 0, FBackGroundColor);
    for (int y = 1; y < FHeight; ++y) std::memcpy(RowPtr(y), first, used);
  } else {
    for (int y = 0; y < FHeight; ++y)
      for (int x = 0; x < FWidth; ++x) SetPixels(x, y, FBackGroundColor);
  }
  Changed();
}

// ---------------------------------------------------------------- change

void TPixelGraphic::EndUpdate() {
  if (FUpdateCount > 0) --FUpdateCount;
  Changed();
}

void TPixelGraphic::Changed() {
  if (FUpdateCount == 0 && OnChange) OnChange(this);
}

void TPixelGraphic::SetColorCacheEnabled(bool v) {
  FColorCacheEnabled = v;
  FMemoValid = false;
  Changed();
}

void TPixelGraphic::SetRGBWeighting(bool v) {
  FRGBWeighting = v;
  FMemoValid = false;
}

// ---------------------------------------------------------------- copying

void TPixelGraphic::Assign(const TPixelGraphic* source) { AssignWith(source, true); }

void TPixelGraphic::AssignFormat(const TPixelGraphic* source) { AssignWith(source, false); }

void TPixelGraphic::AssignWith(const TPixelGraphic* source, bool pixels) {
  if (source == this) return;
  BeginUpdate();
  try {
    if (!source) {
      SetSize(0, 0, bc24Bit);
    } else {
      if (source->FWidth != FWidth || source->FHeight != FHeight || source->FBitCount != FBitCount)
        SetSize(source->FWidth, source->FHeight, source->FBitCount);
      // (With the size unchanged the pixels are overwritten whole below, so
      // the clearing that SetSize would do is skipped.)
      if (pixels && FByteSize > 0) std::memcpy(FBits, source->FBits, static_cast<size_t>(FByteSize));
      SetPaletteIdent(source->FPaletteIdent);
      SetPaletteCount(source->PaletteCount());
      FBackGroundColor = source->FBackGroundColor;
      FDither = source->FDither;
      FDitherErrorLimit = source->FDitherErrorLimit;
      FDitherErrorLimitAuto = source->FDitherErrorLimitAuto;
      FDitherErrorLimitSoft = source->FDitherErrorLimitSoft;
      FColorCacheEnabled = source->FColorCacheEnabled;
      FGamma = source->FGamma;
      FRGBWeighting = source->FRGBWeighting;
      FInterpolate = source->FInterpolate;
      FStretchMode = source->FStretchMode;
      FReadWarningAction = source->FReadWarningAction;
      FTransparent = source->FTransparent;
      FRaiseOnIndexError = source->FRaiseOnIndexError;
      FSaveColorResWarningAction = source->FSaveColorResWarningAction;
      for (int i = 0; i < source->PaletteCount(); ++i) SetPaletteColor(i, source->FPalette[static_cast<size_t>(i)]);
      DetectPaletteIdent();
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

int64_t TPixelGraphic::PackedBitmapSize() const {
  return 58 + 4 * static_cast<int64_t>(PaletteCount()) + FByteSize;
}
