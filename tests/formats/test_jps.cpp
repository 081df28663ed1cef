// JPS files and the splitting of pictures that hold both views: the writer's
// files, every descriptor a file may carry, and pictures of every colour
// resolution and odd sizes.
#include <gtest/gtest.h>

#include <memory>

#include "format_test_util.h"
#include "pgraphic/formats/jps.h"
#include "pgraphic/formats/registry.h"
#include "test_mpo_util.h"

using namespace mpotest;
using fmttest::ErrorMessage;

namespace {

void Load(const Bytes& file, int index, TPixelGraphic& g, const std::string& ext = "jps") {
  TReadOnlyMemoryStream in(file.data(), static_cast<int64_t>(file.size()));
  g.LoadStreamAs(in, ext, index);
}

// The JPEG stream with a JPS segment of this descriptor block behind its SOI.
Bytes WithDescriptor(const Bytes& jpeg, const Bytes& block) {
  Bytes payload = {'_', 'J', 'P', 'S', 'J', 'P', 'S', '_'};
  Append(payload, block);
  Bytes file(jpeg.begin(), jpeg.begin() + 2);
  Append(file, Segment(0xE3, payload));
  file.insert(file.end(), jpeg.begin() + 2, jpeg.end());
  return file;
}
Bytes Block(uint32_t descriptor) {
  Bytes b;
  Put16(b, 4, true);
  Put32(b, descriptor, true);
  return b;
}

// Expects view to be the block of picture starting at (x0, y0), every step-th row.
void ExpectPart(const TPixelGraphic& view, const TPixelGraphic& picture, int x0, int y0, int step = 1) {
  for (int y = 0; y < view.Height(); ++y)
    for (int x = 0; x < view.Width(); ++x)
      ASSERT_EQ(view.PixelColors(x, y), picture.PixelColors(x0 + x, y0 + step * y)) << x << "," << y;
}

TEST(JPS, WriterPutsTheRightViewLeftAndSaysSo) {
  TPixelGraphic left, right, whole, view;
  MakePicture(left, 37, 23, 1);
  MakePicture(right, 37, 23, 2);
  TMemoryStream out;
  PGFormatRegistry().SaveImagesStreamAs({&left, &right}, out, "jps");
  const Bytes file = out.Data();
  // SOI, JFIF, then the JPS segment: stereo, side by side, right view first.
  const size_t app3 = 4 + pg::GetBE16(&file[4]);
  ASSERT_EQ(file[app3 + 1], 0xE3);
  EXPECT_EQ(std::string(file.begin() + static_cast<long>(app3) + 4, file.begin() + static_cast<long>(app3) + 12), "_JPSJPS_");
  EXPECT_EQ(pg::GetBE32(&file[app3 + 14]), 0x00000201u);

  DecodeJPEG(file, whole);
  ASSERT_EQ(whole.Width(), 74);
  Load(file, 0, view);
  ExpectPart(view, whole, 37, 0);
  Load(file, 1, view);
  ExpectPart(view, whole, 0, 0);
  // Named .jpg the same file is the whole picture.
  Load(file, 0, view, "jpg");
  EXPECT_EQ(view.Width(), 74);

  std::string description;
  TPGFileInfo info;
  TReadOnlyMemoryStream s(file.data(), static_cast<int64_t>(file.size()));
  ASSERT_TRUE(GetStreamInfo(s, "jps", 1, description, info));
  EXPECT_EQ(info.ImageCount, 2);
  EXPECT_EQ(info.Width, 37);
  EXPECT_EQ(info.KindText, "Right view");
  EXPECT_EQ(info.DetailsText, "JFIF, YCbCr, side by side, right view first");

  // 256-grey views make a grey file; views of two sizes cannot be paired.
  TPixelGraphic grey;
  grey.SetSize(8, 8, bc8Bit);
  grey.SetPaletteIdent(pGray256);
  TMemoryStream greyOut;
  PGFormatRegistry().SaveImagesStreamAs({&grey, &grey}, greyOut, "jps");
  Load(greyOut.Data(), 0, view);
  EXPECT_EQ(view.BitCount(), bc8Bit);
  EXPECT_EQ(ErrorMessage<EPixelGraphic>([&] { PGFormatRegistry().SaveImagesStreamAs({&left, &grey}, out, "jps"); }),
            "JPS: Invalid size of Image 2");
}

TEST(JPS, EveryDescriptorSplitsAsItSays) {
  TPixelGraphic picture, whole, view;
  MakePicture(picture, 21, 13, 7);
  const Bytes jpeg = EncodeJPEG(picture);
  DecodeJPEG(jpeg, whole);
  struct TCase {
    const char* name;
    Bytes file;
    int leftX, leftY, rightX, rightY, step;
  } cases[] = {
      {"no segment: cross", jpeg, 11, 0, 0, 0, 1},
      {"no descriptor block", WithDescriptor(jpeg, {0, 2}), 11, 0, 0, 0, 1},
      {"side by side", WithDescriptor(jpeg, Block(0x00000201)), 11, 0, 0, 0, 1},
      {"side by side, left first", WithDescriptor(jpeg, Block(0x00040201)), 0, 0, 11, 0, 1},
      {"over/under", WithDescriptor(jpeg, Block(0x05020301)), 0, 7, 0, 0, 1},
      {"over/under, left first", WithDescriptor(jpeg, Block(0x00040301)), 0, 0, 0, 7, 1},
      {"interleaved, left first", WithDescriptor(jpeg, Block(0x00040101)), 0, 0, 0, 1, 2},
      {"interleaved", WithDescriptor(jpeg, Block(0x00000101)), 0, 1, 0, 0, 2},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    Load(c.file, 0, view);
    ExpectPart(view, whole, c.leftX, c.leftY, c.step);
    Load(c.file, 1, view);
    ExpectPart(view, whole, c.rightX, c.rightY, c.step);
    TPixelGraphic left, right;
    TReadOnlyMemoryStream in(c.file.data(), static_cast<int64_t>(c.file.size()));
    ReadJPSPair(in, left, right);
    ExpectPart(left, whole, c.leftX, c.leftY, c.step);
    ExpectPart(right, whole, c.rightX, c.rightY, c.step);
  }
  // One image (mono, anaglyph): the whole picture, no pair.
  for (uint32_t d : {0x00000000u, 0x00000401u}) {
    const Bytes file = WithDescriptor(jpeg, Block(d));
    Load(file, 0, view);
    ExpectPart(view, whole, 0, 0);
    EXPECT_EQ(view.Width(), 21);
    EXPECT_EQ(ErrorMessage<EPixelGraphic>([&] { Load(file, 1, view); }), "JPS: Index invalid");
    TReadOnlyMemoryStream in(file.data(), static_cast<int64_t>(file.size()));
    EXPECT_EQ(ErrorMessage<EPixelGraphic>([&] { ReadJPSPair(in, view, view); }), "JPS: Not supported subformat");
  }
  for (uint32_t d : {0x00000901u, 0x00000203u})
    EXPECT_EQ(ErrorMessage<EPixelGraphic>([&] { Load(WithDescriptor(jpeg, Block(d)), 0, view); }),
              "JPS: Unknown subformat");
}

TEST(JPS, PicturesOfEveryResolutionSplitIntoViewsOfTheirOwnKind) {
  TPixelGraphic rgb;
  MakePicture(rgb, 15, 9, 3);
  for (uint8_t bits : {bc1Bit, bc4Bit, bc8Bit, bc24Bit}) {
    SCOPED_TRACE(TPixelGraphic::BitCountToNum(bits));
    TPixelGraphic picture;
    picture.SetSize(15, 9, bits);
    if (bits != bc24Bit) picture.SetPaletteIdent(bits == bc1Bit ? pBlackWhite : bits == bc4Bit ? pSys16 : pSpecial216);
    for (int y = 0; y < 9; ++y)
      for (int x = 0; x < 15; ++x) picture.SetPixelColors(x, y, rgb.PixelColors(x, y));
    for (const auto& [layout, lx, ly, rx, ry] : {std::tuple{slParallel, 0, 0, 8, 0}, std::tuple{slCross, 8, 0, 0, 0},
                                                 std::tuple{slOverUnder, 0, 0, 0, 5}}) {
      TPixelGraphic left, right;
      ExtractStereoView(picture, layout, false, left);
      ExtractStereoView(picture, layout, true, right);
      EXPECT_EQ(left.BitCount(), bits);
      EXPECT_EQ(left.Width(), layout.Arrangement == saSideBySide ? 7 : 15);
      EXPECT_EQ(left.Height(), layout.Arrangement == saSideBySide ? 9 : 4);
      ExpectPart(left, picture, lx, ly);
      ExpectPart(right, picture, rx, ry);
    }
  }
  TPixelGraphic narrow, view;
  MakePicture(narrow, 1, 5, 0);
  EXPECT_EQ(ErrorMessage<EPixelGraphic>([&] { ExtractStereoView(narrow, slCross, false, view); }),
            "Width = 0 or Height = 0");
}

} // namespace
