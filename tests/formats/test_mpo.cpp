// MPO files: round trips through the writer and the reader, files built the
// way cameras build them (quirks included), the registry's choice, and an
// independent reader (exiftool) on the writer's files.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>
#include <map>
#include <sstream>

#include "format_test_util.h"
#include "pgraphic/formats/mpo.h"
#include "pgraphic/formats/registry.h"
#include "test_mpo_util.h"

using namespace mpotest;
using fmttest::ErrorMessage;

namespace {

Bytes SavePair(TPixelGraphic& left, TPixelGraphic& right, const std::string& ext = "mpo") {
  TMemoryStream out;
  PGFormatRegistry().SaveImagesStreamAs({&left, &right}, out, ext);
  return out.Data();
}

void Load(const Bytes& file, int index, TPixelGraphic& g, const std::string& ext = "mpo") {
  TReadOnlyMemoryStream in(file.data(), static_cast<int64_t>(file.size()));
  g.LoadStreamAs(in, ext, index);
}

TMPOIndex Index(const Bytes& file) {
  TReadOnlyMemoryStream in(file.data(), static_cast<int64_t>(file.size()));
  return ReadMPOIndex(in);
}

std::string LoadError(const Bytes& file, int index) {
  TPixelGraphic g;
  return ErrorMessage<EPixelGraphic>([&] { Load(file, index, g); });
}

class MPO : public fmttest::ScriptedBoxTest {};

// ------------------------------------------------------------------ writer and reader

TEST_F(MPO, RoundTripInBothByteOrdersAndOddSizes) {
  for (bool big : {false, true}) {
    for (auto [w1, h1, w2, h2] : {std::array{37, 23, 37, 23}, std::array{1, 1, 1, 1}, std::array{37, 23, 21, 9}}) {
      SCOPED_TRACE(std::to_string(big) + " " + std::to_string(w1) + "x" + std::to_string(h1));
      PGMPOWriteMotorola = big;
      TPixelGraphic left, right, wantL, wantR, gotL, gotR;
      MakePicture(left, w1, h1, 1);
      MakePicture(right, w2, h2, 2);
      DecodeJPEG(EncodeJPEG(left), wantL);
      DecodeJPEG(EncodeJPEG(right), wantR);
      const Bytes file = SavePair(left, right);
      Load(file, 0, gotL);
      Load(file, 1, gotR);
      EXPECT_TRUE(SamePixels(gotL, wantL));
      EXPECT_TRUE(SamePixels(gotR, wantR));

      // The index: this byte order, two disparity images that fill the file
      // exactly, the first representative.
      const TMPOIndex mpo = Index(file);
      EXPECT_EQ(mpo.BigEndian, big);
      ASSERT_TRUE(mpo.StereoPair);
      ASSERT_EQ(mpo.Images.size(), 2u);
      EXPECT_EQ(mpo.Images[0].Attributes, 0x20020002u);
      EXPECT_EQ(mpo.Images[1].Attributes, 0x00020002u);
      EXPECT_EQ(mpo.Images[1].Start, static_cast<int64_t>(mpo.Images[0].Size));
      EXPECT_EQ(mpo.Images[0].Size + mpo.Images[1].Size, file.size());
      EXPECT_EQ(file[mpo.Images[1].Start + mpo.Images[1].Size - 1], 0xD9);
    }
  }
}

TEST_F(MPO, OrdinaryLoadsGiveTheLeftViewAndInfoCountsTheImages) {
  TPixelGraphic left, right, want, got;
  MakePicture(left, 16, 8, 3);
  MakePicture(right, 16, 8, 4);
  const Bytes file = SavePair(left, right);
  DecodeJPEG(EncodeJPEG(left), want);
  // By content: no extension, or the extension of a plain JPEG.
  TReadOnlyMemoryStream in(file.data(), static_cast<int64_t>(file.size()));
  got.LoadFromStream(in);
  EXPECT_TRUE(SamePixels(got, want));
  Load(file, 0, got, "jpg");
  EXPECT_TRUE(SamePixels(got, want));

  std::string description;
  TPGFileInfo info;
  TReadOnlyMemoryStream s(file.data(), static_cast<int64_t>(file.size()));
  ASSERT_TRUE(GetStreamInfo(s, "jpg", 1, description, info));
  EXPECT_EQ(description, "Multi-Picture Format");
  EXPECT_EQ(info.ImageCount, 2);
  EXPECT_EQ(info.KindText, "Right view");
  EXPECT_EQ(info.Width, 16);
  EXPECT_EQ(info.BitsPerPixel, 24);
  EXPECT_FALSE(GetStreamInfo(s, "", 2, description, info));

  EXPECT_EQ(LoadError(file, 2), "MPO: Index invalid");
  EXPECT_EQ(LoadError(file, -1), "MPO: Index invalid");
}

TEST_F(MPO, PaletteAndBilevelSourcesAreSavedAsTheJPEGWriterWouldSaveThem) {
  // 256 greys stay grey; 1 bit becomes 256 greys and a colour palette 24 bit,
  // each after the writer's colour-resolution warning.
  TPixelGraphic grey, bilevel, palette;
  grey.SetSize(19, 7, bc8Bit);
  grey.SetPaletteIdent(pGray256);
  bilevel.SetSize(19, 7, bc1Bit);
  bilevel.SetPaletteIdent(pBlackWhite);
  palette.SetSize(19, 7, bc8Bit);
  palette.SetPaletteIdent(pSpecial216);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 19; ++x) {
      grey.SetPixels(x, y, static_cast<uint32_t>(x * 13 + y));
      bilevel.SetPixels(x, y, (x / 4 + y / 3) % 2);
      palette.SetPixels(x, y, static_cast<uint32_t>((x * 7 + y * 3) % 216));
    }
  struct {
    TPixelGraphic* source;
    uint8_t bitCount;
    size_t boxes;
  } cases[] = {{&grey, bc8Bit, 0}, {&bilevel, bc8Bit, 2}, {&palette, bc24Bit, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source->BitCountNum());
    Calls.clear();
    Answer = platform::mrOk;
    const Bytes file = SavePair(*c.source, *c.source);
    EXPECT_EQ(Calls.size(), c.boxes);
    TPixelGraphic jpeg, view;
    TMemoryStream single;
    c.source->SaveStreamAs(single, "jpg");
    DecodeJPEG(single.Data(), jpeg);
    for (int i : {0, 1}) {
      Load(file, i, view);
      EXPECT_EQ(view.BitCount(), c.bitCount);
      EXPECT_TRUE(SamePixels(view, jpeg));
    }
  }
  // Refusing the warning writes nothing.
  Answer = platform::mrCancel;
  const std::string name = ::testing::TempDir() + "zwillo_refused.mpo";
  EXPECT_NE(ErrorMessage<EPGCannotWriteColorRes>([&] { PGSaveImagesToFile({&grey, &bilevel}, name); }), "");
  EXPECT_FALSE(std::ifstream(name).good());
}

TEST_F(MPO, WriterTakesExactlyTwoPictures) {
  TPixelGraphic a;
  MakePicture(a, 4, 4, 1);
  TMemoryStream out;
  const std::string tooFew = "MPO: Invalid value for NumberOfImages";
  EXPECT_EQ(ErrorMessage<EPixelGraphic>([&] { a.SaveStreamAs(out, "mpo"); }), tooFew);
  EXPECT_EQ(ErrorMessage<EPixelGraphic>([&] { PGFormatRegistry().SaveImagesStreamAs({&a}, out, "mpo"); }), tooFew);
  EXPECT_EQ(ErrorMessage<EPixelGraphic>([&] { PGFormatRegistry().SaveImagesStreamAs({&a, &a, &a}, out, "mpo"); }),
            tooFew);
  // A single picture saved under .mpo leaves no file behind.
  const std::string name = ::testing::TempDir() + "zwillo_single.mpo";
  EXPECT_EQ(ErrorMessage<EPixelGraphic>([&] { a.SaveToFile(name); }), tooFew);
  EXPECT_FALSE(std::ifstream(name).good());
  // Writers of one picture take one.
  EXPECT_EQ(ErrorMessage<EPixelGraphic>([&] { PGFormatRegistry().SaveImagesStreamAs({&a, &a}, out, "png"); }),
            "Invalid value for MultiImage");
  // Pairs are not offered to the save dialogs.
  EXPECT_EQ(BuildSaveFilter().find("mpo"), std::string::npos);
  EXPECT_NE(BuildOpenFilter().find("|MPO - Multi-Picture Format|*.mpo|"), std::string::npos);
}

// ------------------------------------------------------------------ camera files

class MPOQuirks : public MPO {
protected:
  void SetUp() override {
    MPO::SetUp();
    for (int i = 0; i < 3; ++i) {
      TPixelGraphic p;
      MakePicture(p, 24 - 4 * i, 16 - 4 * i, 10 + i);
      Streams.push_back(EncodeJPEG(p));
      Want.push_back(std::make_unique<TPixelGraphic>());
      DecodeJPEG(Streams.back(), *Want.back());
    }
  }
  // Reads images 0..n-1 of the file and expects the streams listed.
  void ExpectImages(const Bytes& file, std::initializer_list<int> streams) {
    int index = 0;
    for (int s : streams) {
      SCOPED_TRACE(index);
      TPixelGraphic g;
      Load(file, index++, g, "jpg");
      EXPECT_TRUE(SamePixels(g, *Want[static_cast<size_t>(s)]));
    }
  }
  TMPOLayout Pair() const {
    TMPOLayout layout;
    layout.Entries = {{0x20020002, 0}, {0x00020002, 1}};
    return layout;
  }
  std::vector<Bytes> Streams;
  std::vector<std::unique_ptr<TPixelGraphic>> Want;
};

TEST_F(MPOQuirks, LayoutsCamerasWrite) {
  std::vector<std::pair<std::string, TMPOLayout>> cases;
  for (bool big : {false, true}) {
    TMPOLayout s = Pair();
    s.BigEndian = big;
    s.FirstIFD = 0x20; // the MP Index IFD behind padding
    cases.emplace_back(big ? "big-endian, IFD at 0x20" : "little-endian, IFD at 0x20", s);
  }
  TMPOLayout sizes = Pair();
  sizes.Entries[0].SizeError = -500;
  sizes.Entries[1].SizeError = 5000;
  cases.emplace_back("wrong sizes", sizes);
  TMPOLayout junk = Pair();
  junk.Between = Bytes(333, 0xAB);
  junk.After = {0xFF, 0xD8, 0xFF, 0, 1, 2};
  cases.emplace_back("junk between and after", junk);
  TMPOLayout front = Pair();
  front.ExifBytes = 60000;
  front.IccFirst = true;
  cases.emplace_back("large Exif and an ICC profile first", front);
  TMPOLayout counts = Pair();
  counts.NumberOfImages = 7;
  counts.EntryBytesError = 9;
  cases.emplace_back("NumberOfImages and MP Entry too large", counts);
  TMPOLayout noNumber = Pair();
  noNumber.NumberOfImages = -2;
  cases.emplace_back("no NumberOfImages", noNumber);
  for (const auto& [name, layout] : cases) {
    SCOPED_TRACE(name);
    const Bytes file = BuildMPO({Streams[0], Streams[1]}, layout);
    EXPECT_TRUE(Index(file).StereoPair);
    ExpectImages(file, {0, 1});
  }
}

TEST_F(MPOQuirks, ThumbnailsAndOtherFramesFollowTheViews) {
  // A large thumbnail listed between the two disparity images.
  TMPOLayout s;
  s.Entries = {{0x20020002, 0}, {0x00010001, 2}, {0x00020002, 1}};
  Bytes file = BuildMPO(Streams, s);
  ExpectImages(file, {0, 1, 2});
  TMPOIndex mpo = Index(file);
  EXPECT_EQ(mpo.Images[2].Entry, 2);
  std::string description;
  TPGFileInfo info;
  TReadOnlyMemoryStream in(file.data(), static_cast<int64_t>(file.size()));
  ASSERT_TRUE(GetStreamInfo(in, "mpo", 2, description, info));
  EXPECT_EQ(info.ImageCount, 3);
  EXPECT_EQ(info.KindText, "Large thumbnail (VGA)");
  EXPECT_EQ(info.Width, 16);

  // An ordinary photograph with a preview: no views, the index's order.
  s.Entries = {{0x20030000, 0}, {0x00010002, 1}};
  file = BuildMPO({Streams[0], Streams[2]}, s);
  mpo = Index(file);
  EXPECT_FALSE(mpo.StereoPair);
  ExpectImages(file, {0, 2});
  // One entry only (NumberOfImages 1): one image.
  s = Pair();
  s.NumberOfImages = 1;
  file = BuildMPO({Streams[0], Streams[1]}, s);
  EXPECT_EQ(Index(file).Images.size(), 1u);
  EXPECT_EQ(LoadError(file, 1), "MPO: Index invalid");
}

TEST_F(MPOQuirks, EntriesPastTheEndAreRefusedAlone) {
  TMPOLayout s = Pair();
  s.Entries.push_back({0x00010001, -1});
  Bytes file = BuildMPO({Streams[0], Streams[1]}, s);
  ExpectImages(file, {0, 1});
  EXPECT_EQ(LoadError(file, 2), "MPO: Offset of image 3 invalid");
  // A file cut inside the second image: the left view still reads.
  file = BuildMPO({Streams[0], Streams[1]}, Pair());
  file.resize(Index(file).Images[1].Start + 1);
  ExpectImages(file, {0});
  EXPECT_EQ(LoadError(file, 1), "MPO: Offset of image 2 invalid");
  // The second image's offset off by one.
  s = Pair();
  s.Between = {0x00};
  file = BuildMPO({Streams[0], Streams[1]}, s);
  const TMPOIndex mpo = Index(file);
  const size_t offsetField = static_cast<size_t>(mpo.HeaderPos) + 8 + 2 + 3 * 12 + 4 + 16 + 8;
  ASSERT_EQ(pg::GetLE32(&file[offsetField]), mpo.Images[1].Offset);
  pg::PutLE32(&file[offsetField], mpo.Images[1].Offset - 1);
  EXPECT_EQ(LoadError(file, 1), "MPO: Offset of image 2 invalid");
}

TEST_F(MPOQuirks, BrokenIndexesAreRefusedWithTheirName) {
  TMPOLayout header = Pair();
  header.Header = {'I', 'M', 42, 0};
  TMPOLayout ifd = Pair();
  ifd.FirstIFD = 4;
  TMPOLayout entries = Pair();
  entries.Entries.clear(); // an MP Entry of no bytes
  const std::pair<TMPOLayout, std::string> cases[] = {
      {header, "MPO: MP header invalid"}, {ifd, "MPO: MP Index IFD invalid"}, {entries, "MPO: MP Entry invalid"}};
  for (const auto& [layout, message] : cases) {
    const Bytes file = BuildMPO({Streams[0], Streams[1]}, layout);
    EXPECT_EQ(LoadError(file, 1), message);
    EXPECT_EQ(ErrorMessage<EPixelGraphic>([&] { Index(file); }), message);
    // The first image is still the JPEG at the file's start.
    ExpectImages(file, {0});
  }
  // A plain JPEG named .mpo is read as the JPEG it is.
  TPixelGraphic g;
  Load(Streams[0], 0, g, "mpo");
  EXPECT_TRUE(SamePixels(g, *Want[0]));
}

// ------------------------------------------------------------------ exiftool

std::string Output(const std::string& cmd) {
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
  return out;
}

TEST_F(MPO, ExiftoolReadsTheIndexAndExtractsTheSecondImage) {
  if (!fmttest::conformance::ToolsPresent({"exiftool"})) GTEST_SKIP() << "exiftool not installed";
  TPixelGraphic left, right;
  MakePicture(left, 41, 29, 5);
  MakePicture(right, 41, 29, 6);
  for (bool big : {false, true}) {
    SCOPED_TRACE(big);
    PGMPOWriteMotorola = big;
    const Bytes file = SavePair(left, right);
    const std::string name = ::testing::TempDir() + "zwillo_exiftool.mpo";
    std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), static_cast<long>(file.size()));
    // "[Group] Tag : value" lines.
    std::map<std::string, std::string> tags;
    std::istringstream lines(Output("exiftool -a -n -G1 -s -MPF:all -EXIF:all '" + name + "'"));
    for (std::string line; std::getline(lines, line);) {
      const size_t close = line.find(']'), colon = line.find(" : ");
      if (close == std::string::npos || colon == std::string::npos) continue;
      std::string tag = line.substr(close + 1, colon - close - 1);
      tag.erase(0, tag.find_first_not_of(' '));
      tag.erase(tag.find_last_not_of(' ') + 1);
      tags[line.substr(1, close - 1) + ":" + tag] = line.substr(colon + 3);
    }
    const TMPOIndex mpo = Index(file);
    EXPECT_EQ(tags["MPF0:NumberOfImages"], "2");
    EXPECT_EQ(tags["MPImage1:MPImageType"], "131074");
    EXPECT_EQ(tags["MPImage1:MPImageStart"], "0");
    EXPECT_EQ(tags["MPImage1:MPImageLength"], std::to_string(mpo.Images[0].Size));
    EXPECT_EQ(tags["MPImage2:MPImageType"], "131074");
    EXPECT_EQ(tags["MPImage2:MPImageStart"], std::to_string(mpo.Images[1].Start));
    EXPECT_EQ(tags["MPImage2:MPImageLength"], std::to_string(mpo.Images[1].Size));
    EXPECT_EQ(tags["IFD0:Software"], "Zwillo");
    EXPECT_EQ(tags["ExifIFD:ExifImageWidth"], "41");
    EXPECT_EQ(tags["ExifIFD:ExifImageHeight"], "29");

    const std::string second = Output("exiftool -b -MPImage2 '" + name + "'");
    EXPECT_TRUE(second == std::string(file.begin() + mpo.Images[1].Start, file.end()));
    // The first image is the file up to the second, a JPEG of its own.
    const Bytes first(file.begin(), file.begin() + mpo.Images[1].Start);
    TPixelGraphic g;
    DecodeJPEG(first, g);
    EXPECT_EQ(g.Width(), 41);
    std::remove(name.c_str());
  }
}

} // namespace
