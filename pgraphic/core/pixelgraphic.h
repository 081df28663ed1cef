#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "pgraphic/core/exceptions.h"
#include "pgraphic/core/types.h"

class TStream;
class TPGFilter;

// Clipboard formats of the image's clipboard exchange (the Windows numbers).
constexpr uint32_t CF_BITMAP = 2;
constexpr uint32_t CF_DIB = 8;

// The link from an image to the window-system canvas drawing into it (the
// device library's TPGCanvas). The image owns it and asks it to release its
// drawing surface before the pixel memory is reallocated or the palette
// changes, and destroys it before the pixel memory.
class TPGCanvasLink {
public:
  virtual ~TPGCanvasLink() = default;
  virtual void ReleaseDC() = 0;
};

// Library-wide cap on the pixel memory of one image, in bytes. A size whose
// pixel memory would exceed it fails like any other allocation failure
// (EPixelGraphic "CreateDIBSection failed") before anything is allocated.
// The default is the largest byte size the image's 32-bit size field holds.
extern int64_t PGMaxImageBytes;

// Keeps the pixel memory of freed large pictures, up to bytes in all, for
// the next pictures of about the same size: a program that handles one
// picture after another (a batch) then skips the kernel's work on fresh
// memory. 0 (the default) returns freed memory at once; a smaller limit
// returns what is kept beyond it. Kept memory counts as the process's own.
void PGSetPixelMemoryReuse(int64_t bytes);
// The bytes kept for reuse now.
int64_t PGPixelMemoryKept();

// Grey value G3 (0..765) of a colour: 3 * (299 R + 587 G + 114 B) div 1000 with
// RGB weighting, else R + G + B.
inline int PGGreyValue(TColorRef color, bool rgbWeighting) {
  const int r = static_cast<int>(GetRValue(color)), g = static_cast<int>(GetGValue(color)),
            b = static_cast<int>(GetBValue(color));
  return rgbWeighting ? 3 * (299 * r + 587 * g + 114 * b) / 1000 : r + g + b;
}

// Row stride in bytes for a width at a bit count number (1, 4, 8, 24), computed
// in 64 bits: ((bits * width + 31) div 32) * 4.
constexpr int64_t PGBytesPerRow(int64_t width, int bitCountNum) {
  return ((static_cast<int64_t>(bitCountNum) * width + 31) / 32) * 4;
}

// The in-memory raster image: 1, 4 or 8 bits per pixel with a palette, or 24
// bits per pixel. The pixel memory is laid out as a bottom-up device-independent
// bitmap: a 40-byte BITMAPINFOHEADER and colour table (BitmapInfo), rows padded
// to 4 bytes, logical row y stored at (Height - 1 - y) * BytesPerRow, 24-bit
// pixels in blue, green, red order.
class TPixelGraphic : public TObject {
public:
  TPixelGraphic();
  ~TPixelGraphic() override;

  // ------------------------------------------------------------ size
  // The one place that (re)allocates. Same size and resolution: Clear().
  void SetSize(int32_t width, int32_t height, uint8_t bitCount);
  // SetSize for a caller that writes every pixel of every row before the
  // picture is read: neither the same size's Clear() nor the clearing of
  // reused pixel memory happens (the bytes past a row's pixels are zero).
  void SetSizeToOverwrite(int32_t width, int32_t height, uint8_t bitCount);
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  void SetWidth(int32_t value);
  void SetHeight(int32_t value);
  uint8_t BitCount() const { return FBitCount; }
  void SetBitCount(uint8_t value);
  int BitCountNum() const { return BitCountToNum(FBitCount); }
  void SetBitCountNum(int value);
  static int BitCountToNum(uint8_t bitCount) {
    static constexpr int nums[4] = {1, 4, 8, 24};
    return nums[bitCount & 3];
  }
  // Raises EPGInvalidBitCountNum for anything but 1, 4, 8, 24.
  static uint8_t NumToBitCount(int bitCountNum);
  // Colour-table size: 2, 16, 256 for 1, 4, 8 bit; 0 for 24 bit.
  int PaletteSize() const;
  bool Empty() const { return FBits == nullptr; }

  // ------------------------------------------------------------ pixels
  // Raw value: palette index, or COLORREF for 24 bit. Outside the image:
  // BackGroundColor, or EPGXYIndexOutOfRange when RaiseOnIndexError is set.
  uint32_t Pixels(int x, int y) const {
    if (static_cast<unsigned>(x) >= static_cast<unsigned>(FWidth) ||
        static_cast<unsigned>(y) >= static_cast<unsigned>(FHeight)) [[unlikely]]
      return OutOfRangeRead();
    const uint8_t* row = RowPtr(y);
    if (FBitCount == bc24Bit) [[likely]] {
      // One unaligned 4-byte load (the pixel memory has slack after its last
      // byte): bytes B, G, R, x reversed and shifted give the COLORREF.
      uint32_t v;
      std::memcpy(&v, row + 3 * static_cast<size_t>(x), 4);
      return __builtin_bswap32(v) >> 8;
    }
    if (FBitCount == bc8Bit) return row[x];
    if (FBitCount == bc4Bit) return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    return (row[x >> 3] >> (7 - (x & 7))) & 1;
  }
  void SetPixels(int x, int y, uint32_t value) {
    if (static_cast<unsigned>(x) >= static_cast<unsigned>(FWidth) ||
        static_cast<unsigned>(y) >= static_cast<unsigned>(FHeight)) {
      OutOfRangeWrite();
      return;
    }
    uint8_t* row = RowPtr(y);
    switch (FBitCount) {
      case bc24Bit: {
        uint8_t* p = row + 3 * static_cast<size_t>(x);
        p[0] = static_cast<uint8_t>(value >> 16);
        p[1] = static_cast<uint8_t>(value >> 8);
        p[2] = static_cast<uint8_t>(value);
        break;
      }
      case bc8Bit:
        row[x] = static_cast<uint8_t>(value);
        break;
      case bc4Bit: {
        uint8_t& b = row[x >> 1];
        b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | (value & 0x0F))
                    : static_cast<uint8_t>((b & 0x0F) | ((value & 0x0F) << 4));
        break;
      }
      default: {
        uint8_t& b = row[x >> 3];
        const uint8_t mask = static_cast<uint8_t>(0x80 >> (x & 7));
        b = value == 1 ? static_cast<uint8_t>(b | mask) : static_cast<uint8_t>(b & ~mask);
        break;
      }
    }
  }
  // Colour of a pixel: the raw value for 24 bit, else the palette colour of the index.
  uint32_t PixelColors(int x, int y) const {
    const uint32_t v = Pixels(x, y);
    if (FBitCount == bc24Bit) return v;
    return v < FPalette.size() ? FPalette[v] : PaletteColorOutOfRange(v);
  }
  // Stores a colour: directly for 24 bit, else the nearest palette entry.
  void SetPixelColors(int x, int y, uint32_t color) {
    if (FBitCount == bc24Bit)
      SetPixels(x, y, color);
    else
      SetPixels(x, y, ColorToIndex(color));
  }
  // First byte of logical row y (bottom-up mapping applied); null when empty.
  // No bounds check.
  uint8_t* ScanLine(int y) { return FBits ? RowPtr(y) : nullptr; }
  const uint8_t* ScanLine(int y) const { return FBits ? RowPtr(y) : nullptr; }
  uint8_t* Bits() { return FBits; }
  const uint8_t* Bits() const { return FBits; }
  int32_t BytesPerRow() const { return FBytesPerRow; }
  int32_t ByteSize() const { return FByteSize; }
  // The BITMAPINFOHEADER and colour table of the pixel memory (empty when empty).
  const std::vector<uint8_t>& BitmapInfo() const { return FBitmapInfo; }

  // ------------------------------------------------------------ palette
  int PaletteCount() const { return static_cast<int>(FPalette.size()); }
  const TColorRef* PaletteData() const { return FPalette.data(); }
  // For pTrueColor the index itself; otherwise EPGInvalidPaletteIndex when out of range.
  TColorRef PaletteColors(int index) const;
  void SetPaletteColor(int index, TColorRef color);
  void SetPaletteCount(int count);
  TPaletteIdent PaletteIdent() const { return FPaletteIdent; }
  void SetPaletteIdent(TPaletteIdent ident);
  void CopyPalette(const TPixelGraphic& source);
  void DetectPaletteIdent();
  // True when every palette entry has R = G = B.
  bool GrayPalette() const { return FGrayPalette; }

  // ------------------------------------------------------------ background
  // Raw value (COLORREF for 24 bit, palette index otherwise).
  uint32_t BackGroundColor() const { return FBackGroundColor; }
  void SetBackGroundColor(TColorRef color);
  // Sets the raw value directly, without mapping through the palette.
  void SetBackGroundColorRaw(uint32_t value) { FBackGroundColor = value; }
  TColorRef BackGroundColorValue() const;
  // Fills the image with BackGroundColor and signals the change.
  void Clear();

  // ------------------------------------------------------------ change and progress
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();
  virtual void Changed();
  int UpdateCount() const { return FUpdateCount; }

  TNotifyEvent OnChange;
  TPGProgressEvent OnProgress;
  TNotifyEvent OnProgressStart;
  TNotifyEvent OnProgressEnd;

  void DoProgressStart(TObject* sender) {
    if (OnProgressStart) OnProgressStart(sender);
  }
  // Fires OnProgress with Abort preset to false; returns the Abort flag.
  bool DoProgress(TObject* sender, int step, int max) {
    bool abort = false;
    if (OnProgress) OnProgress(sender, step, max, abort);
    return abort;
  }
  void DoProgressEnd(TObject* sender) {
    if (OnProgressEnd) OnProgressEnd(sender);
  }

  // ------------------------------------------------------------ settings
  bool Dither() const { return FDither; }
  void SetDither(bool v) { FDither = v; }
  uint8_t DitherErrorLimit() const { return FDitherErrorLimit; }
  void SetDitherErrorLimit(uint8_t v) { FDitherErrorLimit = v; }
  bool DitherErrorLimitAuto() const { return FDitherErrorLimitAuto; }
  void SetDitherErrorLimitAuto(bool v) { FDitherErrorLimitAuto = v; }
  bool DitherErrorLimitSoft() const { return FDitherErrorLimitSoft; }
  void SetDitherErrorLimitSoft(bool v) { FDitherErrorLimitSoft = v; }
  bool ColorCacheEnabled() const { return FColorCacheEnabled; }
  void SetColorCacheEnabled(bool v);
  bool FastLoad() const { return FFastLoad; }
  void SetFastLoad(bool v) { FFastLoad = v; }
  // Preview loads only: a reader that can decode at a reduced scale (JPEG)
  // may deliver the picture reduced, as long as it still covers the thumbnail
  // the picture gets in maxWidth x maxHeight. 0 x 0 (the default) loads at
  // full size. Assign does not copy it, so it never leaks into other loads.
  int32_t LoadReduceMaxWidth() const { return FLoadReduceMaxWidth; }
  int32_t LoadReduceMaxHeight() const { return FLoadReduceMaxHeight; }
  void SetLoadReduce(int32_t maxWidth, int32_t maxHeight) {
    FLoadReduceMaxWidth = maxWidth;
    FLoadReduceMaxHeight = maxHeight;
  }
  bool NoRealize() const { return FNoRealize; }
  void SetNoRealize(bool v) { FNoRealize = v; }
  long double Gamma() const { return FGamma; }
  void SetGamma(long double v) { FGamma = v; }
  bool RGBWeighting() const { return FRGBWeighting; }
  void SetRGBWeighting(bool v);
  bool Interpolate() const { return FInterpolate; }
  void SetInterpolate(bool v) { FInterpolate = v; }
  TStretchMode StretchMode() const { return FStretchMode; }
  void SetStretchMode(TStretchMode v) { FStretchMode = v; }
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool v) { FTransparent = v; }
  TPGWarningAction ReadWarningAction() const { return FReadWarningAction; }
  void SetReadWarningAction(TPGWarningAction v) { FReadWarningAction = v; }
  bool RaiseOnIndexError() const { return FRaiseOnIndexError; }
  void SetRaiseOnIndexError(bool v) { FRaiseOnIndexError = v; }
  TPGWarningAction SaveColorResWarningAction() const { return FSaveColorResWarningAction; }
  void SetSaveColorResWarningAction(TPGWarningAction v) { FSaveColorResWarningAction = v; }

  // ------------------------------------------------------------ copying
  // Copies size, pixels, palette and every setting of source; null empties the image.
  void Assign(const TPixelGraphic* source);
  // Assign without the pixels: size, colour resolution, palette and settings.
  // Pixel memory of a new size or resolution is zero-filled; with the size and
  // resolution unchanged the pixels stay as they are.
  void AssignFormat(const TPixelGraphic* source);

  // ------------------------------------------------------------ colour conversion
  // Nearest palette entry of a colour (the colour itself for pTrueColor).
  uint32_t ColorToIndex(TColorRef color) {
    if (FMemoValid && FMemoColor == color) return FMemoResult;
    return ColorToIndexUncached(color);
  }
  void FreeColorCache();
  // Error-diffusion dithering into this (palette) image.
  void BeginDither();
  void NextDitherRow();
  void DitherPixel(int x, int y, int r, int g, int b);
  void EndDither();
  bool Dithering() const { return FDitherActive; }

  // ------------------------------------------------------------ geometry
  void CopyRect(int destX, int destY, TPixelGraphic& source, int srcY, int srcX, int height, int width);
  void StretchCopy(int destX, int destY, TPixelGraphic& source, int srcH, int srcW, int srcY, int srcX, int dstH,
                   int dstW);
  void StretchFrom(TPixelGraphic& source);
  void Rotate(int destCx, int destCy, TPixelGraphic& source, int srcH, int srcW, int srcTop, int srcLeft, int srcCy,
              int srcCx, long double angle);
  void RotateFrom(bool resize, TPixelGraphic& source, long double angle);
  void MirrorHorizontal();

  // ------------------------------------------------------------ filters
  void ApplyFilter(TPGFilter& filter, TPixelGraphic& source);

  // ------------------------------------------------------------ files and streams
  // These go through the format registry (library pgraphic_formats).
  void LoadFromFile(const std::string& fileName);
  void LoadFileImage(const std::string& fileName, int index);
  void LoadFromStream(TStream& stream);
  void LoadStreamAs(TStream& stream, const std::string& extension, int index);
  void SaveToFile(const std::string& fileName);
  void SaveStreamAs(TStream& stream, const std::string& extension);
  // Always a BMP file, whatever the resolution.
  void SaveToStream(TStream& stream);
  // Form streaming: a 4-byte little-endian length L, then L bytes of BMP.
  void ReadData(TStream& stream);
  void WriteData(TStream& stream);
  // ------------------------------------------------------------ clipboard
  // Reads a packed DIB (info header, colour table, pixels) from a clipboard
  // block. format must be CF_DIB and data non-null, else
  // EPGUnknownClipboardFormat; palette (a palette handle) is not used.
  void LoadFromClipboardFormat(uint32_t format, const uint8_t* data, int64_t size, uint32_t palette = 0);
  // Writes the image as a CF_DIB block: info header, colour table and pixels,
  // in a block of PackedBitmapSize() bytes. palette is set to 0.
  void SaveToClipboardFormat(uint32_t& format, std::vector<uint8_t>& data, uint32_t& palette);

  // ------------------------------------------------------------ canvas
  // The canvas attached by the device library, or null before its first use.
  TPGCanvasLink* CanvasLink() const { return FCanvasLink.get(); }
  void SetCanvasLink(std::unique_ptr<TPGCanvasLink> link) { FCanvasLink = std::move(link); }
  // The canvas, if any, releases its drawing surface.
  void ReleaseCanvasDC() {
    if (FCanvasLink) FCanvasLink->ReleaseDC();
  }

  // Packed bitmap (header, colour table, pixels), shared with the clipboard.
  void ReadPackedBitmap(TStream& stream, bool coreHeader);
  void WritePackedBitmap(TStream& stream);
  int64_t PackedBitmapSize() const;

private:
  void Resize(int32_t width, int32_t height, uint8_t bitCount, bool clear);
  uint8_t* RowPtr(int y) { return FBits + static_cast<size_t>(FHeight - 1 - y) * static_cast<size_t>(FBytesPerRow); }
  const uint8_t* RowPtr(int y) const {
    return FBits + static_cast<size_t>(FHeight - 1 - y) * static_cast<size_t>(FBytesPerRow);
  }
  // Reads outside the image: the background colour, or the index error. The
  // raising part is a separate no-return call, so loops over Pixels keep the
  // image fields in registers.
  uint32_t OutOfRangeRead() const {
    if (FRaiseOnIndexError) ThrowIndexOutOfRange();
    return FBackGroundColor;
  }
  [[noreturn]] static void ThrowIndexOutOfRange();
  void OutOfRangeWrite() const;
  // An index beyond the palette shows entry 0, as the colour table repeats it.
  uint32_t PaletteColorOutOfRange(uint32_t) const { return FPalette.empty() ? 0 : FPalette[0]; }
  void AssignWith(const TPixelGraphic* source, bool pixels);
  uint32_t ColorToIndexUncached(TColorRef color);
  uint32_t DitherIndex(TColorRef color);
  void FreePixels();
  void WriteColorTable();
  void InvalidatePaletteState();

  struct TFreeDeleter {
    void operator()(uint8_t* p) const;
  };

  // Fields, in the order of the image model.
  uint32_t FBackGroundColor = 0;
  uint8_t FBitCount = bc24Bit;
  uint8_t* FBits = nullptr;                            // into FPixelMemory
  std::unique_ptr<uint8_t, TFreeDeleter> FPixelMemory; // the "DIB section"
  std::vector<uint8_t> FBitmapInfo;                    // header + colour table
  bool FDither = true;
  uint8_t FDitherErrorLimit = 32;
  bool FDitherErrorLimitAuto = true;
  // Dithering work buffers, present only between BeginDither and EndDither.
  bool FDitherActive = false;
  std::vector<int> FDitherLimitTable;  // 511 entries, index e + 255
  std::vector<int> FDitherRowCur;      // (Width + 2) * 3, one guard pixel each end
  std::vector<int> FDitherRowNext;
  int FDitherWidth = 0;                // width the error rows were made for
  bool FDitherErrorLimitSoft = true;
  bool FColorCacheEnabled = true;
  bool FFastLoad = false;
  int32_t FHeight = 0;
  bool FNoRealize = false;
  bool FGrayPalette = false;
  long double FGamma = 1.8L;
  int32_t FByteSize = 0;
  int32_t FBytesPerRow = 0;
  // Colour cache (65 536 cells) and its filled-bit set (8 192 bytes).
  std::unique_ptr<uint8_t[]> FColorCache;
  std::unique_ptr<uint8_t[]> FColorCacheFilled;
  bool FCacheStale = true;
  bool FMemoValid = false;
  TColorRef FMemoColor = 0;
  uint32_t FMemoResult = 0;
  bool FPaletteHandleStale = false;
  std::vector<TColorRef> FPalette;
  TPaletteIdent FPaletteIdent = pTrueColor;
  bool FRGBWeighting = true;
  bool FInterpolate = true;
  TStretchMode FStretchMode = smPrecise;
  bool FTransparent = false;
  int32_t FUpdateCount = 0;
  TPGWarningAction FReadWarningAction = pgwaOKCancelBox;
  bool FRaiseOnIndexError = false;
  TPGWarningAction FSaveColorResWarningAction = pgwaOKCancelBox;
  int32_t FWidth = 0;
  int32_t FLoadReduceMaxWidth = 0;
  int32_t FLoadReduceMaxHeight = 0;
  // Last, so that it goes first: the canvas may still look at the pixels.
  std::unique_ptr<TPGCanvasLink> FCanvasLink;
};

