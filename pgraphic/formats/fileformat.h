#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"
#include "platform/stream.h"

// The reader/writer class tree shared by every file format.

// What GetInfo reports about one image of a file.
struct TPGFileInfo {
  int ImageCount = 1;
  int BitsPerPixel = 0;
  std::string ColorsText;
  int Height = 0;
  int Width = 0;
  std::string KindText;
  std::string DetailsText;
};

class TFileFormatReaderWriter : public TObject {
public:
  TFileFormatReaderWriter(std::string extension, std::string description)
      : Extension(std::move(extension)), Description(std::move(description)) {}
  // The class name as it appears in messages ("TBMPFileFormatWriter").
  virtual const char* ClassName() const = 0;

  bool ListedInFilter = true;
  std::string Extension;    // lower case, without the dot
  std::string Description;  // shown in filters, messages and file information
};

// Readers keep no state between calls, so their operations are const; the
// registry still gives every load an object of its own.
class TFileFormatReader : public TFileFormatReaderWriter {
public:
  using TFileFormatReaderWriter::TFileFormatReaderWriter;
  static constexpr int HeaderSize = 17;

  bool DetectsByContent = false;
  // Formats stored inside another format's files (MPO and JPS inside JPEG)
  // need more than the header to be told apart: their readers set
  // DetectsInStream and are asked before any header test.
  bool DetectsInStream = false;

  // header: the first 17 bytes of the stream (bytes past a short stream's end are 0).
  virtual bool IsFormat(const uint8_t* header) const {
    (void)header;
    return false;
  }
  // Only for DetectsInStream: whether the stream, at its current position,
  // holds this format; extension without the dot, lower case. May read
  // anywhere in the stream; the caller restores the position.
  virtual bool IsFormatInStream(TStream& stream, const uint8_t* header, const std::string& extension) const {
    (void)stream;
    (void)header;
    (void)extension;
    return false;
  }
  // Reads image number index from the stream's current position into graphic.
  virtual void ReadGraphic(TStream& stream, TPixelGraphic& graphic, int index) const {
    (void)stream;
    (void)graphic;
    (void)index;
  }
  // Reads only the headers. The base resets info to one image and zeros;
  // every reader calls it first.
  virtual void GetInfo(TStream& stream, int index, TPGFileInfo& info) const {
    (void)stream;
    (void)index;
    info = TPGFileInfo{};
  }
};

// Colour-resolution codes 0..7 as a bit set (bit n = code n).
using TPGColorResSet = uint8_t;
constexpr TPGColorResSet PGAllColorRes = 0xFF;

class TFileFormatWriter : public TFileFormatReaderWriter {
public:
  using TFileFormatReaderWriter::TFileFormatReaderWriter;

  bool MultiImage = false;
  TPGColorResSet CanWriteResolutions = 0;

  // One complete file; multi-image writers run BeginFile, WriteImage, EndFile.
  virtual void WriteGraphic(TStream& stream, TPixelGraphic& graphic) {
    (void)stream;
    (void)graphic;
  }
  virtual void BeginFile(TStream& stream) { (void)stream; }
  virtual void WriteImage(TStream& stream, TPixelGraphic& graphic) {
    (void)stream;
    (void)graphic;
  }
  virtual void EndFile(TStream& stream) { (void)stream; }
};

// One registered format class: the listed object, which tells the registry the
// class's extension, description, detection and writable resolutions, and the
// way to make a fresh object of that class. Every load and save works on an
// object of its own, so no call shares reader or writer state with another one
// (the TIFF writer, for one, keeps positions between its operations).
template <typename Base>
class TPGFormatClass {
public:
  using TFactory = std::function<std::unique_ptr<Base>()>;
  TPGFormatClass(std::unique_ptr<Base> listed, TFactory factory)
      : FListed(std::move(listed)), FFactory(std::move(factory)) {}

  const Base& operator*() const { return *FListed; }
  const Base* operator->() const { return FListed.get(); }
  // A new object for one call.
  std::unique_ptr<Base> New() const { return FFactory(); }

private:
  std::unique_ptr<Base> FListed;
  TFactory FFactory;
};

// The readers or the writers of a registry, in the order they were added.
template <typename Base>
class TPGFormatList {
public:
  using TEntry = TPGFormatClass<Base>;

  // Adds a class by one object of it; each call gets a default-constructed
  // object of the same class.
  template <typename T>
  void push_back(std::unique_ptr<T> listed) {
    static_assert(std::is_base_of_v<Base, T> && std::is_default_constructible_v<T>,
                  "a format class without a default constructor is added with its factory");
    // The object must be a T itself: a derived object behind a T pointer
    // would be listed as one class and created as another.
    if (!listed || typeid(*listed) != typeid(T))
      throw std::logic_error("format class added through a pointer to a base class");
    FEntries.emplace_back(std::move(listed), [] { return std::unique_ptr<Base>(std::make_unique<T>()); });
  }
  // Adds a class with its own way of making the object of a call.
  template <typename T, typename F>
  void push_back(std::unique_ptr<T> listed, F&& factory) {
    static_assert(std::is_base_of_v<Base, T>);
    FEntries.emplace_back(std::move(listed), typename TEntry::TFactory(std::forward<F>(factory)));
  }

  size_t size() const { return FEntries.size(); }
  bool empty() const { return FEntries.empty(); }
  const TEntry& operator[](size_t i) const { return FEntries[i]; }
  auto begin() const { return FEntries.cbegin(); }
  auto end() const { return FEntries.cend(); }
  auto begin() { return FEntries.begin(); }
  auto end() { return FEntries.end(); }

private:
  std::vector<TEntry> FEntries;
};

// The registry's two lists, filled once by the Register*Formats functions.
struct TPGFormatLists {
  TPGFormatList<TFileFormatReader> Readers;
  TPGFormatList<TFileFormatWriter> Writers;
};

// Each format unit adds its classes (pgraphic/formats/<format>.cpp).
void RegisterBMPFormats(TPGFormatLists& lists);
void RegisterJPEGFormats(TPGFormatLists& lists);
void RegisterPNGFormats(TPGFormatLists& lists);
void RegisterPCXFormats(TPGFormatLists& lists);
void RegisterPxMFormats(TPGFormatLists& lists);
void RegisterTGAFormats(TPGFormatLists& lists);
void RegisterTIFFFormats(TPGFormatLists& lists);
void RegisterMPOFormats(TPGFormatLists& lists);
void RegisterJPSFormats(TPGFormatLists& lists);
