// Saving when the medium fails part-way: every writer must report the failure,
// and a save through a file name must leave the disk as it was (an existing
// file byte-identical, no new file, no temporary file left behind).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "common/file_test_util.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/formats/registry.h"
#include "pgraphic/formats/settings.h"
#include "platform/stream.h"

namespace fs = std::filesystem;

namespace {

using namespace testutil;


// A memory stream on a medium that holds only Limit bytes: a write reaching
// past them is cut short, as on a full disk. A writer that goes back to fill
// in a header rewrites bytes it already has room for.
class TFailingStream : public TStream {
public:
  explicit TFailingStream(int64_t limit) : FLimit(limit) {}
  int64_t Read(void* buffer, int64_t count) override { return FData.Read(buffer, count); }
  int64_t Write(const void* buffer, int64_t count) override {
    const int64_t room = std::max<int64_t>(0, FLimit - FData.Position());
    const int64_t n = std::min(count, room);
    return n > 0 ? FData.Write(buffer, n) : 0;
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override { return FData.Seek(offset, origin); }
  int64_t Size() override { return FData.Size(); }
  void SetSize(int64_t newSize) override { FData.SetSize(newSize); }

private:
  TMemoryStream FData;
  int64_t FLimit;
};

// Test images: 24-bit colours and an 8-bit palette of greys, odd sizes so
// every row has padding.
void MakeTrueColor(TPixelGraphic& g) {
  g.SetSize(13, 7, bc24Bit);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 13; ++x) g.SetPixels(x, y, RGBColor(x * 19, y * 37, (x * y * 11) & 255));
}
void MakeGray(TPixelGraphic& g) {
  g.SetSize(11, 5, bc8Bit);
  g.SetPaletteIdent(pGray256);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 11; ++x) g.SetPixels(x, y, (x * 23 + y * 5) & 255);
}

std::vector<std::string> WriterExtensions() {
  std::vector<std::string> exts;
  for (const auto& w : PGFormatRegistry().Writers()) exts.push_back(w->Extension);
  return exts;
}

// Failure points across a file of size bytes: every one of the first 64 bytes
// (headers), then about every (size / 32)th, and the last byte.
std::vector<int64_t> FailurePoints(int64_t size, int dense = 64, int spread = 32) {
  std::set<int64_t> points;
  for (int64_t n = 0; n < std::min<int64_t>(size, dense); ++n) points.insert(n);
  const int64_t step = std::max<int64_t>(1, size / spread);
  for (int64_t n = 0; n < size; n += step) points.insert(n);
  if (size > 0) points.insert(size - 1);
  return {points.begin(), points.end()};
}

// The stereo pair writers (MPO, JPS) store two pictures: the image twice.
bool PairWriter(const std::string& ext) { return ext == "mpo" || ext == "jps"; }

void SaveStreamAs(TPixelGraphic& g, TStream& stream, const std::string& ext) {
  if (PairWriter(ext))
    PGFormatRegistry().SaveImagesStreamAs({&g, &g}, stream, ext);
  else
    g.SaveStreamAs(stream, ext);
}

std::vector<uint8_t> SaveToMemory(TPixelGraphic& g, const std::string& ext) {
  TMemoryStream m;
  SaveStreamAs(g, m, ext);
  return m.Data();
}

// SaveToFile under a file-size limit of limit bytes. Returns 0 when the save
// returned, 1 when it raised one of the library's errors, 2 for any other
// exception.
int SaveToFileWithLimit(TPixelGraphic& g, const std::string& path, int64_t limit) {
  TFileSizeLimit guard(limit);
  try {
    if (PairWriter(ExtractFormatExtension(path)))
      PGSaveImagesToFile({&g, &g}, path);
    else
      g.SaveToFile(path);
    return 0;
  } catch (const EStreamError&) {
    return 1;
  } catch (const EPixelGraphic&) {
    return 1;
  } catch (...) {
    return 2;
  }
}

class SaveFaults : public ::testing::Test {
protected:
  void SetUp() override {
    PGResetFormatSettings();
  }
  void TearDown() override {
    PGResetFormatSettings();
  }
  // Both test images, converted by the writer where it must (no question asked).
  template <typename Fn>
  void ForEachImage(Fn&& fn) {
    for (int kind = 0; kind < 2; ++kind) {
      TPixelGraphic g;
      g.SetSaveColorResWarningAction(pgwaIgnore);
      if (kind == 0)
        MakeTrueColor(g);
      else
        MakeGray(g);
      SCOPED_TRACE(kind == 0 ? "24-bit image" : "8-bit grey image");
      fn(g);
    }
  }
  TScratchFolder scratch{"savefault"};
  fs::path dir{scratch.Dir()};
};

// Every writer, the medium failing after n bytes for n across the whole file:
// the save raises one of the library's errors and never reports success.
TEST_F(SaveFaults, EveryWriterRaisesWhenTheStreamFails) {
  for (const std::string& ext : WriterExtensions()) {
    SCOPED_TRACE(ext);
    ForEachImage([&](TPixelGraphic& g) {
      const int64_t size = static_cast<int64_t>(SaveToMemory(g, ext).size());
      ASSERT_GT(size, 0);
      for (int64_t n : FailurePoints(size)) {
        TFailingStream stream(n);
        bool raised = false;
        try {
          SaveStreamAs(g, stream, ext);
        } catch (const EStreamError&) {
          raised = true;
        } catch (const EPixelGraphic&) {
          raised = true;
        }
        EXPECT_TRUE(raised) << "no error when the medium holds " << n << " of " << size << " bytes";
      }
      // With exactly the room needed the save succeeds: the failures above
      // came from the medium, not from the writer.
      TFailingStream exact(size);
      EXPECT_NO_THROW(SaveStreamAs(g, exact, ext));
    });
  }
}

// Through a file name: an existing file keeps every byte, a new file is not
// created, and the temporary file beside the target is gone.
TEST_F(SaveFaults, FailedSaveToFileLeavesTheDiskAsItWas) {
  const std::vector<uint8_t> before = {'k', 'e', 'e', 'p', ' ', 'm', 'e', '\n'};
  for (const std::string& ext : WriterExtensions()) {
    SCOPED_TRACE(ext);
    ForEachImage([&](TPixelGraphic& g) {
      const int64_t size = static_cast<int64_t>(SaveToMemory(g, ext).size());
      const fs::path existing = dir / ("old." + ext);
      const fs::path fresh = dir / ("new." + ext);
      for (int64_t n : FailurePoints(size, 4, 6)) {
        SCOPED_TRACE("limit " + std::to_string(n) + " of " + std::to_string(size));
        {
          std::ofstream f(existing, std::ios::binary);
          f.write(reinterpret_cast<const char*>(before.data()), static_cast<std::streamsize>(before.size()));
        }
        EXPECT_EQ(SaveToFileWithLimit(g, existing.string(), n), 1);
        EXPECT_EQ(ReadFileBytes(existing), before);
        EXPECT_EQ(FolderListing(dir), std::set<std::string>{existing.filename().string()});

        fs::remove(existing);
        EXPECT_EQ(SaveToFileWithLimit(g, fresh.string(), n), 1);
        EXPECT_FALSE(fs::exists(fresh));
        EXPECT_TRUE(FolderListing(dir).empty());
      }
      // Without a limit the same save replaces the file with the full image.
      EXPECT_EQ(SaveToFileWithLimit(g, fresh.string(), RLIM_INFINITY), 0);
      EXPECT_EQ(static_cast<int64_t>(fs::file_size(fresh)), size);
      fs::remove(fresh);
    });
  }
}

// A full device: every write fails with ENOSPC.
TEST_F(SaveFaults, FullDeviceRaises) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "/dev/full is not writable here";
  for (const std::string& ext : WriterExtensions()) {
    SCOPED_TRACE(ext);
    ForEachImage([&](TPixelGraphic& g) {
      TFileStream full("/dev/full", fmOpenWrite);
      bool raised = false;
      try {
        SaveStreamAs(g, full, ext);
      } catch (const EStreamError&) {
        raised = true;
      } catch (const EPixelGraphic&) {
        raised = true;
      }
      EXPECT_TRUE(raised);
    });
  }
}

} // namespace
