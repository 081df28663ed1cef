// Damaged and hostile MPO and JPS files: every cut and changed byte of small
// files ends in an image or one of the library's errors, without reading
// outside the file (the sanitizer build checks that).
//
// With ZWILLO_STEREO_SEED_DIR set, the files are also written there: that is
// how tests/data/stereo (the fuzzers' MPO and JPS seeds) was made.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "format_test_util.h"
#include "pgraphic/formats/jps.h"
#include "pgraphic/formats/mpo.h"
#include "pgraphic/formats/registry.h"
#include "test_mpo_util.h"

using namespace mpotest;

namespace {

struct TSeed {
  std::string Name;
  Bytes Data;
};

std::vector<TSeed> StereoSeeds() {
  std::vector<TSeed> seeds;
  TPixelGraphic a, b, c;
  MakePicture(a, 16, 8, 1);
  MakePicture(b, 16, 8, 2);
  MakePicture(c, 8, 8, 3);
  for (bool big : {false, true}) {
    PGMPOWriteMotorola = big;
    TMemoryStream out;
    PGFormatRegistry().SaveImagesStreamAs({&a, &b}, out, "mpo");
    seeds.push_back({big ? "pair-mm.mpo" : "pair-ii.mpo", out.Data()});
  }
  PGMPOWriteMotorola = false;
  TMPOLayout quirks;
  quirks.BigEndian = true;
  quirks.FirstIFD = 12;
  quirks.Entries = {{0x20020002, 0, -100}, {0x00010001, 2}, {0x00020002, 1}, {0x00010002, -1}};
  quirks.Between = {0, 0, 0};
  quirks.After = {0xFF, 0xD9};
  seeds.push_back({"thumbnail-between.mpo", BuildMPO({EncodeJPEG(a), EncodeJPEG(b), EncodeJPEG(c)}, quirks)});
  TMemoryStream jps;
  PGFormatRegistry().SaveImagesStreamAs({&a, &b}, jps, "jps");
  seeds.push_back({"cross.jps", jps.Data()});
  return seeds;
}

// Reads the first three images and their information; anything but an image
// or the library's own error fails.
void Attempt(const Bytes& data, const std::string& ext) {
  for (int index = 0; index < 3; ++index) {
    for (TPGWarningAction action : {pgwaIgnore, pgwaRaise}) {
      TPixelGraphic g;
      g.SetReadWarningAction(action);
      try {
        TReadOnlyMemoryStream s(data.data(), static_cast<int64_t>(data.size()));
        g.LoadStreamAs(s, ext, index);
      } catch (const EPixelGraphic&) {
      } catch (const EStreamError&) {
      }
      if (!g.Empty()) (void)g.PixelColors(g.Width() - 1, g.Height() - 1);
    }
    TReadOnlyMemoryStream s(data.data(), static_cast<int64_t>(data.size()));
    std::string description;
    TPGFileInfo info;
    (void)GetStreamInfo(s, ext, index, description, info);
  }
  TReadOnlyMemoryStream s(data.data(), static_cast<int64_t>(data.size()));
  try {
    (void)ReadMPOIndex(s);
  } catch (const EPixelGraphic&) {
  }
}

class StereoBadInput : public fmttest::BadInputTest {};

TEST_F(StereoBadInput, CutAndChangedFilesEndInAnImageOrAnError) {
  PGResetFormatSettings();
  const std::vector<TSeed> seeds = StereoSeeds();
  if (const char* dir = std::getenv("ZWILLO_STEREO_SEED_DIR"))
    for (const TSeed& s : seeds)
      std::ofstream(std::string(dir) + "/" + s.Name, std::ios::binary)
          .write(reinterpret_cast<const char*>(s.Data.data()), static_cast<std::streamsize>(s.Data.size()));
  for (const TSeed& seed : seeds) {
    SCOPED_TRACE(seed.Name);
    const std::string ext = seed.Name.substr(seed.Name.size() - 3);
    fmttest::CutAndChangeBytes({seed.Data}, [&](const Bytes& data) { Attempt(data, ext); });
  }
}

// The kept files (the fuzzers' seeds) are pairs.
TEST_F(StereoBadInput, KeptFilesArePairs) {
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(std::string(ZWILLO_TEST_DATA) + "/stereo")) {
    if (e.path().extension() == ".md") continue;
    SCOPED_TRACE(e.path().string());
    for (int index : {0, 1}) {
      TPixelGraphic g;
      g.LoadFileImage(e.path().string(), index);
      EXPECT_EQ(g.Width(), 16);
    }
    ++files;
  }
  EXPECT_EQ(files, 4);
}

} // namespace
