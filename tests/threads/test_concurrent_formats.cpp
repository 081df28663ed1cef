// Loads and saves on several threads at once, as the desktop program will do
// when a preview worker reads while the window thread saves. scripts/test runs
// these under ThreadSanitizer: every test whose name contains "Concurrent" or
// "Parallel" takes part there.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "common/file_test_util.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/formats/registry.h"
#include "pgraphic/formats/settings.h"
#include "platform/stream.h"

namespace {

constexpr int Threads = 4;

// A 24-bit picture and a 16-colour one: between them every writer meets an
// image it takes as it is and one the registry converts first.
void MakePictures(TPixelGraphic& rgb, TPixelGraphic& pal) {
  const int w = 23, h = 17;
  rgb.SetSize(w, h, bc24Bit);
  pal.SetSize(w, h, bc4Bit);
  pal.SetPaletteCount(16);
  for (int i = 0; i < 16; ++i) pal.SetPaletteColor(i, RGBColor(i * 16, 255 - i * 12, (i * 77) & 0xFF));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      rgb.SetPixels(x, y, RGBColor(x * 11, y * 15, (x * y * 5) & 0xFF));
      pal.SetPixels(x, y, static_cast<uint32_t>((x / 2 + y) % 16));
    }
  rgb.SetSaveColorResWarningAction(pgwaIgnore);
  pal.SetSaveColorResWarningAction(pgwaIgnore);
}

// What one save and load of one picture gives: the file and the picture read back.
struct TRoundTrip {
  std::vector<uint8_t> File;
  int Width = 0, Height = 0;
  uint8_t BitCount = 0;
  std::vector<TColorRef> Colors;
};

TRoundTrip Decoded(const TPixelGraphic& g, std::vector<uint8_t> file) {
  TRoundTrip r{std::move(file), g.Width(), g.Height(), g.BitCount(), {}};
  for (int y = 0; y < g.Height(); ++y)
    for (int x = 0; x < g.Width(); ++x) r.Colors.push_back(g.PixelColors(x, y));
  return r;
}

// The stereo pair writers (MPO, JPS) store two pictures: the picture twice.
bool PairWriter(const std::string& ext) { return ext == "mpo" || ext == "jps"; }

TRoundTrip ThroughMemory(TPixelGraphic& g, const std::string& ext) {
  TMemoryStream s;
  if (PairWriter(ext))
    PGFormatRegistry().SaveImagesStreamAs({&g, &g}, s, ext);
  else
    g.SaveStreamAs(s, ext);
  s.SetPosition(0);
  TPixelGraphic back;
  back.LoadStreamAs(s, ext, 0);
  return Decoded(back, s.Data());
}

TRoundTrip ThroughFile(TPixelGraphic& g, const std::string& path) {
  if (PairWriter(ExtractFormatExtension(path)))
    PGSaveImagesToFile({&g, &g}, path);
  else
    g.SaveToFile(path);
  TPixelGraphic back;
  back.LoadFromFile(path);
  return Decoded(back, testutil::ReadFileBytes(path));
}

bool Same(const TRoundTrip& a, const TRoundTrip& b) {
  return a.File == b.File && a.Width == b.Width && a.Height == b.Height && a.BitCount == b.BitCount &&
         a.Colors == b.Colors;
}

TEST(ConcurrentFormats, EveryFormatSavedAndLoadedOnSeveralThreads) {
  PGResetFormatSettings();
  PGTIFFCompression = 32773;  // PackBits: the TIFF writer's longest path
  TPixelGraphic rgb, pal;
  MakePictures(rgb, pal);
  std::vector<std::string> exts;
  for (const auto& writer : PGFormatRegistry().Writers()) exts.push_back(writer->Extension);
  ASSERT_GE(exts.size(), 12u);

  // The results of one thread alone.
  std::map<std::string, TRoundTrip> refRgb, refPal;
  for (const std::string& ext : exts) {
    refRgb[ext] = ThroughMemory(rgb, ext);
    refPal[ext] = ThroughMemory(pal, ext);
  }
  TMemoryStream bmpForm;
  rgb.WriteData(bmpForm);

  testutil::TScratchFolder dir("concurrent");
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < Threads; ++t)
    threads.emplace_back([&, t] {
      // Each thread has its own pictures; the registry, the writers' classes
      // and the settings are shared.
      TPixelGraphic myRgb, myPal;
      MakePictures(myRgb, myPal);
      for (int round = 0; round < 2; ++round)
        // Threads start at different formats, so different writers run at once
        // as well as the same one.
        for (size_t k = 0; k < exts.size(); ++k) {
          const std::string& ext = exts[(k + static_cast<size_t>(t) * 3) % exts.size()];
          const std::string path = dir.Path(std::to_string(t) + "-" + std::to_string(round) + "." + ext);
          try {
            if (!Same(ThroughMemory(myRgb, ext), refRgb.at(ext))) ++failures;
            if (!Same(ThroughFile(myPal, path), refPal.at(ext))) ++failures;
            std::string description;
            TPGFileInfo info;
            if (!GetFileInfo(path, 0, description, info) || info.Width != myPal.Width()) ++failures;
            TMemoryStream form;
            myRgb.WriteData(form);
            if (form.Data() != bmpForm.Data()) ++failures;
          } catch (const std::exception& e) {
            ADD_FAILURE() << ext << ": " << e.what();
          }
        }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(0, failures.load());
  PGResetFormatSettings();
}

TEST(ConcurrentFormats, LookupsShareTheRegistry) {
  TPixelGraphic g;
  g.SetSize(3, 3, bc24Bit);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) g.SetPixels(x, y, RGBColor(40 * x, 60 * y, 200));
  TMemoryStream bmp;
  g.SaveToStream(bmp);
  const std::vector<uint8_t> bytes = bmp.Data();
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < Threads; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        TReadOnlyMemoryStream s(bytes.data(), static_cast<int64_t>(bytes.size()));
        std::string description;
        TPGFileInfo info;
        if (!GetStreamInfo(s, "bmp", 0, description, info) || info.Width != 3) ++failures;
        TPixelGraphic local;
        local.LoadFromStream(s);
        if (local.PixelColors(2, 2) != g.PixelColors(2, 2)) ++failures;
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(0, failures.load());
}

}  // namespace
