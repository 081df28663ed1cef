// Layout by stretch rule, centring and scrolling; coordinate conversion;
// loading and saving through the view.
#include <QScrollBar>

#include "pgraphic/core/exceptions.h"
#include "view_test_util.h"

using viewtest::Gradient;
using viewtest::MakeView;

namespace {

struct TLayoutCase {
  TStretch Stretch;
  int ImageW, ImageH, ViewW, ViewH;
  int OutW, OutH;
  long double Zoom;
};

} // namespace

TEST(ImageViewLayout, NewViewDefaultsAndSaveWithoutImage) {
  TPGImage view;
  EXPECT_EQ(view.width(), 100);
  EXPECT_EQ(view.height(), 100);
  EXPECT_TRUE(view.Empty());
  EXPECT_EQ(view.CurrentZoomFactor(), 1.0L);
  EXPECT_EQ(view.PicBox()->objectName(), "PicBox");
  try {
    view.SaveToFile("/tmp/never-written.bmp");
    FAIL() << "no exception";
  } catch (const EPGEmpty& e) {
    EXPECT_STREQ(e.what(), "PixelGraphic is empty");
  }
  EXPECT_TRUE(view.FileName().empty());
}

// Every stretch rule: picture-box size and effective zoom, with and without
// scroll bars taken into account.
TEST(ImageViewLayout, StretchRules) {
  const int e = TPGImage().ScrollBarExtent();
  const TLayoutCase cases[] = {
      {sNeverKAR, 200, 100, 100, 100, 200, 100, 1.0L},
      {sAlways, 200, 100, 100, 100, 100, 100, -1.0L},
      {sAlwaysKAR, 200, 100, 100, 100, 100, 50, 0.5L},
      {sAlwaysKAR, 50, 100, 100, 100, 50, 100, 1.0L},
      {sShrink, 200, 50, 100, 100, 100, 50, -1.0L},
      {sShrink, 50, 50, 100, 100, 50, 50, 1.0L},
      {sShrinkKAR, 400, 100, 200, 200, 200, 50, 0.5L},
      {sShrinkKAR, 100, 100, 200, 200, 100, 100, 1.0L},
      // Wider than the view: the height to fill leaves room for the horizontal bar.
      {sEnlarge, 300, 50, 200, 200, 300, 200 - e, -1.0L},
      {sEnlarge, 50, 50, 200, 100, 200, 100, -1.0L},
      {sEnlargeKAR, 50, 25, 200, 200, 200, 100, 4.0L},
      {sEnlargeKAR, 300, 25, 200, 200, 300, 25, 1.0L},
      // Fitting inside would leave both edges short: the width fills beside a vertical bar.
      {sAlwaysLongerEdgeKAR, 100, 100, 200, 100, 200 - e, 200 - e, (200.0L - e) / 100},
      {sAlwaysLongerEdgeKAR, 200, 100, 200, 100, 200, 100, 1.0L},
      {sShrinkLongerEdgeKAR, 400, 400, 200, 100, 200 - e, 200 - e, (200.0L - e) / 400},
      {sShrinkLongerEdgeKAR, 400, 50, 200, 100, 400, 50, 1.0L},
      {sEnlargeShrinkLongerEdgeKAR, 50, 50, 200, 100, 100, 100, 2.0L},
      {sEnlargeShrinkLongerEdgeKAR, 400, 400, 200, 100, 200 - e, 200 - e, (200.0L - e) / 400},
      {sEnlargeLongerEdgeKAR, 50, 50, 200, 100, 200 - e, 200 - e, (200.0L - e) / 50},
      {sEnlargeLongerEdgeKAR, 400, 400, 200, 100, 400, 400, 1.0L},
  };
  for (const TLayoutCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "stretch " << int(c.Stretch) << " image " << c.ImageW << "x" << c.ImageH);
    TPGLayoutInput in;
    in.Stretch = c.Stretch;
    in.ImageWidth = c.ImageW;
    in.ImageHeight = c.ImageH;
    in.AvailWidth = c.ViewW;
    in.AvailHeight = c.ViewH;
    in.ScrollBarExtent = e;
    const TPGLayout layout = PGLayout(in);
    EXPECT_EQ(layout.Width, c.OutW);
    EXPECT_EQ(layout.Height, c.OutH);
    EXPECT_DOUBLE_EQ(static_cast<double>(layout.Zoom), static_cast<double>(c.Zoom));
  }
  // The view applies what the function computes.
  const TLayoutCase& c = cases[12];
  auto view = MakeView(c.ViewW, c.ViewH, Gradient(c.ImageW, c.ImageH));
  view->SetStretch(c.Stretch);
  EXPECT_EQ(view->PicBox()->width(), c.OutW);
  EXPECT_EQ(view->PicBox()->height(), c.OutH);
  EXPECT_DOUBLE_EQ(static_cast<double>(view->CurrentZoomFactor()), static_cast<double>(c.Zoom));
}

TEST(ImageViewLayout, ZoomFactorRoundsAndZoomChangeFiresOnce) {
  auto view = MakeView(100, 100, Gradient(200, 100));
  int changes = 0;
  view->OnZoomFactorChange = [&](TObject*) { ++changes; };
  view->SetStretch(sAlways);
  view->SetStretch(sAlways);
  EXPECT_EQ(changes, 1);
  // Resizing from outside (a layout, the window) lays the picture out again.
  view->SetStretch(sAlwaysKAR);
  view->resize(200, 300);
  EXPECT_EQ(view->PicBox()->size(), QSize(200, 100));
  view->SetStretch(sZoomKAR);
  view->SetZoomFactor(1.5L);
  EXPECT_EQ(view->PicBox()->size(), QSize(300, 150));
  view->SetZoomFactor(0);
  EXPECT_EQ(view->PicBox()->size(), QSize(200, 100));
  EXPECT_EQ(view->CurrentZoomFactor(), 1.0L);
  view->AdoptPixelGraphic(Gradient(5, 3));
  view->SetZoomFactor(0.5L);
  EXPECT_EQ(view->PicBox()->width(), 2); // Round(2.5) goes to the even neighbour
}

TEST(ImageViewLayout, CenterPlacesSmallPicturesAndCentresTheScrollPosition) {
  auto view = MakeView(200, 100, Gradient(50, 30));
  view->SetCenter(true);
  EXPECT_EQ(view->PicBoxRect(), QRect(75, 35, 50, 30));
  // Larger than the view: both bars, scrolled to the middle.
  view->AdoptPixelGraphic(Gradient(500, 300));
  view->SetCenter(false);
  view->SetCenter(true);
  const int e = view->ScrollBarExtent();
  EXPECT_EQ(view->ClientWidth(), 200 - e);
  EXPECT_EQ(view->ClientHeight(), 100 - e);
  EXPECT_EQ(view->horizontalScrollBar()->value(), (500 - (200 - e)) / 2);
  EXPECT_EQ(view->verticalScrollBar()->value(), (300 - (100 - e)) / 2);
  EXPECT_EQ(view->PicBoxRect().topLeft(), QPoint(-(500 - (200 - e)) / 2, -(300 - (100 - e)) / 2));
  // Only one dimension larger: a horizontal bar, the height centred beside it.
  view->AdoptPixelGraphic(Gradient(500, 20));
  view->SetBounds(0, 0, 200, 100);
  EXPECT_EQ(view->PicBoxRect().top(), (100 - e - 20) / 2);
  EXPECT_TRUE(view->horizontalScrollBar()->isVisible());
  EXPECT_FALSE(view->verticalScrollBar()->isVisible());
}

TEST(ImageViewLayout, ScrollRangesFollowThePictureBoxAndResizeScrollsBack) {
  auto view = MakeView(200, 100, Gradient(300, 96));
  const int e = view->ScrollBarExtent();
  // 96 rows fit 100 but not 100 - e once the horizontal bar shows, so both bars appear.
  ASSERT_GT(96, 100 - e);
  EXPECT_TRUE(view->horizontalScrollBar()->isVisible());
  EXPECT_TRUE(view->verticalScrollBar()->isVisible());
  EXPECT_EQ(view->horizontalScrollBar()->maximum(), 300 - (200 - e));
  view->horizontalScrollBar()->setValue(10000);
  EXPECT_EQ(view->horizontalScrollBar()->value(), 300 - (200 - e));
  EXPECT_EQ(view->PicBox()->x(), -(300 - (200 - e)));
  view->SetBounds(0, 0, 220, 100);
  EXPECT_EQ(view->horizontalScrollBar()->value(), 0);
  EXPECT_EQ(view->PicBox()->pos(), QPoint(0, 0));
  // A picture that fits shows no bars and leaves the whole area as client.
  view->AdoptPixelGraphic(Gradient(10, 10));
  EXPECT_FALSE(view->horizontalScrollBar()->isVisible());
  EXPECT_EQ(view->ClientWidth(), 220);
}

TEST(ImageViewLayout, BorderAndAutoSize) {
  TPGImage view; // bsSingle with 3D look: 2 pixels each side
  int asw = 0, ash = 0, events = 0;
  view.OnNewAutoSize = [&](TObject*, int w, int h) {
    asw = w;
    ash = h;
    ++events;
  };
  view.AdoptPixelGraphic(Gradient(60, 40));
  EXPECT_EQ(events, 1); // also with AutoSize off
  EXPECT_EQ(asw, 64);
  EXPECT_EQ(ash, 44);
  EXPECT_EQ(view.width(), 100);
  view.SetAutoSizeMaxWidth(200);
  view.SetAutoSizeMinWidth(300); // the minimum wins
  view.SetAutoSize(true);
  EXPECT_EQ(view.width(), 300);
  EXPECT_EQ(view.height(), 44);
  view.SetAutoSizeMinWidth(0);
  view.SetAutoSizeMaxWidth(50); // narrower than the picture: a horizontal bar is added to the height
  EXPECT_EQ(view.width(), 50);
  EXPECT_EQ(view.height(), 44 + view.ScrollBarExtent());
}

TEST(ImageViewLayout, CoordinateConversionTruncatesTowardZero) {
  auto view = MakeView(400, 400, Gradient(100, 50));
  view->SetStretch(sZoomKAR);
  view->SetZoomFactor(2);
  EXPECT_EQ(view->ImageToViewX(3), 6);
  EXPECT_EQ(view->ViewToImageX(7), 3);
  EXPECT_EQ(view->ViewToImageX(6), 3);
  EXPECT_EQ(view->ViewToImageX(-1), 0);
  EXPECT_EQ(view->ViewToImageY(-3), -1);
  EXPECT_EQ(view->ViewToImage(QPoint(9, 13)), QPoint(4, 6));
  view->SetPixelGraphic(nullptr);
  EXPECT_EQ(view->ImageToViewX(3), 0);
  EXPECT_EQ(view->ViewToImageY(3), 0);
}

// A panorama 60,000 pixels wide: the products of the conversions exceed 32
// bits from about 46,000 pixels at zoom 1 (9,000 at zoom 5) and must not wrap.
TEST(ImageViewLayout, CoordinatesOfAVeryWidePicture) {
  auto strip = std::make_unique<TPixelGraphic>();
  strip->SetSize(60000, 50, bc8Bit);
  auto view = MakeView(400, 200, std::move(strip));
  EXPECT_EQ(view->ImageToViewX(50000), 50000);
  EXPECT_EQ(view->ViewToImageX(59999), 59999);
  view->SetStretch(sZoomKAR);
  view->SetZoomFactor(5);
  ASSERT_EQ(view->PicBox()->width(), 300000);
  EXPECT_EQ(view->ImageToViewX(59999), 299995);
  EXPECT_EQ(view->ViewToImageX(299999), 59999);
  EXPECT_EQ(view->ViewToImageY(249), 49);
  view->SetSelection(true);
  view->SetSelectionRect(50000, 10, 100, 20);
  EXPECT_EQ(view->SelectionViewRect(), QRect(250000, 50, 500, 100));
  // Far outside the picture the values stay within the integer range.
  EXPECT_EQ(view->ImageToViewX(std::numeric_limits<int>::max()), std::numeric_limits<int>::max());
}

TEST(ImageViewLoading, MissingOrBrokenFileLeavesTheViewEmpty) {
  auto view = MakeView(100, 100, Gradient(20, 20));
  int changes = 0;
  view->OnPixelGraphicChange = [&](TObject*) { ++changes; };
  EXPECT_ANY_THROW(view->SetFileName("/nonexistent/dir/picture.bmp"));
  EXPECT_TRUE(view->Empty());
  EXPECT_TRUE(view->FileName().empty());
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(view->PicBox()->size(), QSize(0, 0));

  const std::string junk = "/tmp/pgview_junk.bmp";
  {
    FILE* f = fopen(junk.c_str(), "wb");
    fputs("BM this is not a bitmap", f);
    fclose(f);
  }
  EXPECT_THROW(view->SetFileName(junk), EPixelGraphic);
  EXPECT_TRUE(view->Empty());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  remove(junk.c_str());
  view->SetFileName("");
  EXPECT_EQ(changes, 3);
}

TEST(ImageViewLoading, SaveThenLoadThroughFileName) {
  auto view = MakeView(100, 100, Gradient(30, 20));
  const std::string name = "/tmp/pgview_roundtrip.bmp";
  view->SaveToFile(name);
  EXPECT_EQ(view->FileName(), name);
  int changes = 0, starts = 0, steps = 0;
  view->OnPixelGraphicChange = [&](TObject*) { ++changes; };
  view->OnPixelGraphicProgressStart = [&](TObject*) {
    ++starts;
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  };
  view->OnPixelGraphicProgress = [&](TObject*, int, int, bool&) { ++steps; };
  view->SetFileName(name);
  EXPECT_EQ(changes, 1); // reading itself does not run image-change handling
  EXPECT_GE(starts, 1);
  EXPECT_GE(steps, 1);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  ASSERT_FALSE(view->Empty());
  EXPECT_EQ(view->PixelGraphic()->PixelColors(29, 19), RGBColor(29, 19, 7));
  EXPECT_EQ(view->PicBox()->size(), QSize(30, 20));
  // The caller changing the image it was handed runs image-change handling.
  view->PixelGraphic()->SetSize(40, 10, bc24Bit);
  EXPECT_EQ(view->PicBox()->size(), QSize(40, 10));
  remove(name.c_str());
}
