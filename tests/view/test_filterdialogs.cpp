// Filter dialogs driven as a user does: sliders moved by keys, radio buttons
// clicked, OK, Escape and the close box; the value texts, the BCG property
// conversions, the preview's pixels and closing while the workers run.
#include <chrono>
#include <cmath>
#include <functional>

#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "common/caption_test_util.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/view/filterdialogs.h"
#include "view_test_util.h"

using viewtest::Gradient;

namespace {

// Runs the dialog; user acts on the open window and must end it.
bool RunWith(TPreviewFilterDialog& dlg, TPixelGraphic& image, const std::function<void(TFilterDialogForm&)>& user) {
  QTimer::singleShot(0, [&] {
    TFilterDialogForm* f = dlg.DialogWindow();
    user(*f);
    // A failed assertion must not leave the dialog open.
    if (dlg.DialogWindow() == f && f->isVisible()) f->reject();
  });
  return dlg.Execute(image);
}

bool WaitUntil(const std::function<bool()>& pred, int ms = 5000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QTest::qWait(5);
  }
  return true;
}

std::string Text(QLabel* l) { return l->text().toStdString(); }

bool SameCurves(const TXXXFilter& a, const TXXXFilter& b) {
  return std::equal(a.Curve1, a.Curve1 + 256, b.Curve1) && std::equal(a.Curve2, a.Curve2 + 256, b.Curve2) &&
         std::equal(a.Curve3, a.Curve3 + 256, b.Curve3);
}

// Design pixels as the dialog placed them: scaled by at least the screen's
// resolution / 100, more where the font needs it.
struct TScaled {
  explicit TScaled(const TFilterDialogForm& f) : X(f.ScaleX()), Y(f.ScaleY()) {
    const double ppi = QGuiApplication::primaryScreen()->logicalDotsPerInch();
    EXPECT_GE(X, std::lround(ppi) / 100.0);
    EXPECT_GE(Y, std::lround(ppi) / 100.0);
  }
  int x(int v) const { return static_cast<int>(std::floor(v * X + 0.5)); }
  int y(int v) const { return static_cast<int>(std::floor(v * Y + 0.5)); }
  double X, Y;
};

struct TGerman {
  TGerman() { MessageLanguage = 1; }
  ~TGerman() { MessageLanguage = 0; }
};

} // namespace

TEST(FilterDialogs, RGBValuesClampAndConfigureTheCurves) {
  TRGBFilterDialog dlg;
  auto& f = static_cast<TRGBFilter&>(dlg.Filter());
  EXPECT_EQ(dlg.SliderText1(), "\xC2\xB1" "0%");
  for (int i = 0; i < 256; ++i) ASSERT_EQ(f.Curve1[i], i);
  dlg.SetRed(150);
  EXPECT_EQ(dlg.Red(), 100);
  EXPECT_EQ(dlg.SliderText1(), "+100%");
  for (int i = 0; i < 256; ++i) ASSERT_EQ(f.Curve1[i], 255);
  dlg.SetGreen(-3);
  EXPECT_EQ(dlg.SliderText2(), "-3%");
  EXPECT_EQ(f.Curve2[100], 93); // -3 * 255 div 100 = -7
  EXPECT_EQ(f.Curve2[3], 0);
  dlg.SetBlue(-30);
  EXPECT_EQ(dlg.SliderText3(), "-30%");

  TCMYFilterDialog cmy;
  cmy.SetCyan(100);
  EXPECT_EQ(cmy.Filter().MapColor(RGBColor(200, 100, 50)), RGBColor(0, 100, 50));
}

TEST(FilterDialogs, BCGPropertyConversionsAndFactorTexts) {
  TBCGFilterDialog dlg;
  dlg.SetContrast(1.0L);
  EXPECT_EQ(dlg.Slider(2).Position, 0);
  EXPECT_EQ(dlg.Contrast(), 1.0L);
  EXPECT_EQ(dlg.SliderText2(), "1.00");
  dlg.SetContrast(10);
  EXPECT_EQ(dlg.Slider(2).Position, 100);
  EXPECT_NEAR(static_cast<double>(dlg.Contrast()), 5.0, 1e-12);
  EXPECT_EQ(dlg.SliderText2(), "5.00");
  dlg.SetGamma(0.1L);
  EXPECT_EQ(dlg.Slider(3).Position, -100);
  EXPECT_NEAR(static_cast<double>(dlg.Gamma()), 0.2, 1e-12);
  EXPECT_EQ(dlg.SliderText3(), "0.20");
  dlg.SetGamma(std::nanl(""));
  EXPECT_EQ(dlg.Slider(3).Position, -100);
  dlg.SetContrast(2);
  EXPECT_EQ(dlg.Slider(2).Position, 43);
  EXPECT_NEAR(static_cast<double>(dlg.Contrast()), 2.0, 1e-12);
  EXPECT_EQ(dlg.SliderText2(), "2.00");
  dlg.SetBrightness(-250);
  EXPECT_EQ(dlg.Brightness(), -100);
  dlg.SetUseY(true);
  EXPECT_TRUE(dlg.UseY());
  EXPECT_FALSE(dlg.Radio1State);

  // The setters reconfigure the filter at once: OK without a control
  // change applies the values set.
  auto& f = static_cast<TBCGFilter&>(dlg.Filter());
  EXPECT_EQ(f.Brightness(), -100);
  EXPECT_NEAR(static_cast<double>(f.Contrast()), 1.998, 0.001); // unrounded 5^0.43
  EXPECT_NE(f.Contrast(), 2.0L);
  EXPECT_TRUE(f.UseY());

  // 5^0.5 = 2.236 shows 2.24, with the locale's decimal separator.
  dlg.SetGamma(std::sqrt(5.0L));
  EXPECT_EQ(dlg.Slider(3).Position, 50);
  EXPECT_EQ(dlg.SliderText3(), "2.24");
  const QLocale old;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(dlg.SliderText3(), "2,24");
  QLocale::setDefault(old);
}

TEST(FilterDialogs, LayoutCaptionsAndNamesOfTheBuiltWindow) {
  TGerman german;
  TBCGFilterDialog dlg;
  auto image = Gradient(40, 30);
  RunWith(dlg, *image, [](TFilterDialogForm& f) {
    EXPECT_EQ(f.windowTitle().toStdString(), "Helligkeit-, Kontrast-, Gamma-Filter");
    // m 10, caption width 55, value width 32: client width 497; radio pair
    // at 160, bevel at 187, OK at 199, client height 233.
    const TScaled s(f);
    EXPECT_EQ(f.size(), QSize(s.x(497), s.y(233)));
    EXPECT_EQ(f.TrackBar(2)->geometry().topLeft(), QPoint(s.x(65), s.y(60)));
    EXPECT_EQ(f.findChild<QSlider*>("TrackBar2")->tickInterval(), 100);
    EXPECT_EQ(f.TrackBar(1)->tickPosition(), QSlider::TicksBelow);
    EXPECT_EQ(f.TrackBar(1)->SelStart(), 0);
    EXPECT_EQ(f.PreviewImage()->geometry().topLeft(), QPoint(s.x(347), s.y(12)));
    EXPECT_EQ(f.Bevel()->y(), s.y(187));
    EXPECT_EQ(f.OKButton()->geometry(), QRect(s.x(153), s.y(199), s.x(238) - s.x(153), s.y(223) - s.y(199)));
    EXPECT_EQ(f.CancelButton()->text().toStdString(), "Abbruch");
    EXPECT_EQ(Text(f.ExtraCaptionLabel()), "Anw. auf");
    EXPECT_EQ(Text(f.CaptionLabel(1)), "Helligkeit");
    EXPECT_EQ(Text(f.ScaleLabel(2, 0)), "0.20");
    EXPECT_EQ(Text(f.ScaleLabel(1, 1)), "\xC2\xB1" "0%");
    EXPECT_EQ(Text(f.ValueLabel(2)), "1.00");
    EXPECT_EQ(f.font().pointSize(), 8);
    EXPECT_TRUE(f.RadioButton1()->isChecked());
    QTest::keyClick(&f, Qt::Key_Escape);
  });
}

TEST(FilterDialogs, CancelEscapeAndCloseRestoreValuesAndFilter) {
  TRGBFilterDialog dlg;
  dlg.SetRed(20);
  TRGBFilter before;
  PGFillFilterCurves(before, 20, 0, 0);
  auto image = Gradient(64, 48);

  // Escape after moving sliders.
  bool ok = RunWith(dlg, *image, [](TFilterDialogForm& f) {
    QTest::keyClick(f.TrackBar(1), Qt::Key_End);
    QTest::keyClick(f.TrackBar(2), Qt::Key_Home);
    EXPECT_EQ(Text(f.ValueLabel(1)), "+100%");
    EXPECT_EQ(Text(f.ValueLabel(2)), "-100%");
    EXPECT_EQ(static_cast<TRGBFilter&>(f.Dialog()->Filter()).Curve1[0], 255);
    QTest::keyClick(&f, Qt::Key_Escape);
  });
  EXPECT_FALSE(ok);
  EXPECT_EQ(dlg.Red(), 20);
  EXPECT_EQ(dlg.Green(), 0);
  EXPECT_TRUE(SameCurves(static_cast<TRGBFilter&>(dlg.Filter()), before));

  // The close box counts as Cancel.
  ok = RunWith(dlg, *image, [](TFilterDialogForm& f) {
    QTest::keyClick(f.TrackBar(3), Qt::Key_PageUp);
    EXPECT_EQ(Text(f.ValueLabel(3)), "+2%");
    f.close();
  });
  EXPECT_FALSE(ok);
  EXPECT_EQ(dlg.Blue(), 0);
  EXPECT_TRUE(SameCurves(static_cast<TRGBFilter&>(dlg.Filter()), before));

  // OK keeps the new values, and the next run starts from them.
  ok = RunWith(dlg, *image, [](TFilterDialogForm& f) {
    QTest::keyClick(f.TrackBar(1), Qt::Key_Left);
    QTest::mouseClick(f.OKButton(), Qt::LeftButton);
  });
  EXPECT_TRUE(ok);
  EXPECT_EQ(dlg.Red(), 19);
  RunWith(dlg, *image, [](TFilterDialogForm& f) {
    EXPECT_EQ(f.TrackBar(1)->value(), 19);
    EXPECT_EQ(Text(f.ValueLabel(1)), "+19%");
    f.reject();
  });

  // BCG: the radio pair is restored too.
  TBCGFilterDialog bcg;
  ok = RunWith(bcg, *image, [](TFilterDialogForm& f) {
    QTest::mouseClick(f.RadioButton2(), Qt::LeftButton, {}, QPoint(4, f.RadioButton2()->height() / 2));
    EXPECT_TRUE(static_cast<TBCGFilter&>(f.Dialog()->Filter()).UseY());
    QTest::keyClick(f.TrackBar(3), Qt::Key_End);
    EXPECT_EQ(Text(f.ValueLabel(3)), "5.00");
    QTest::keyClick(&f, Qt::Key_Escape);
  });
  EXPECT_FALSE(ok);
  EXPECT_FALSE(bcg.UseY());
  EXPECT_TRUE(bcg.Radio1State);
  EXPECT_FALSE(static_cast<TBCGFilter&>(bcg.Filter()).UseY());
  EXPECT_EQ(static_cast<TBCGFilter&>(bcg.Filter()).Gamma(), 1.0L);
}

TEST(FilterDialogs, PreviewSourceSizes) {
  EXPECT_EQ(TFilterDialogForm::PreviewSourceSize(100, 50, 130, 130), QSize(100, 50));
  EXPECT_EQ(TFilterDialogForm::PreviewSourceSize(400, 200, 130, 130), QSize(130, 65));
  EXPECT_EQ(TFilterDialogForm::PreviewSourceSize(200, 400, 130, 130), QSize(65, 130));
  EXPECT_EQ(TFilterDialogForm::PreviewSourceSize(0, 50, 130, 130), QSize(0, 0));
}

TEST(FilterDialogs, PreviewShowsTheFilterAppliedToTheReducedSource) {
  TCMYFilterDialog dlg;
  auto image = Gradient(400, 200);
  RunWith(dlg, *image, [&](TFilterDialogForm& f) {
    TPGImage& view = *f.PreviewImage();
    ASSERT_TRUE(WaitUntil([&] { return f.PreviewCount() == 1 && view.PixelGraphicNoWait(); }));
    // The reduced source as the library makes it.
    TPixelGraphic reduced;
    reduced.SetSize(f.PreviewSource()->Width(), f.PreviewSource()->Height(), bc24Bit);
    reduced.StretchFrom(*image);
    EXPECT_EQ(reduced.Width(), view.ClientWidth());

    // A slider moved in three steps computes one new preview after the pause.
    QTest::keyClick(f.TrackBar(2), Qt::Key_PageUp);
    QTest::keyClick(f.TrackBar(2), Qt::Key_PageUp);
    QTest::keyClick(f.TrackBar(2), Qt::Key_Right);
    ASSERT_TRUE(WaitUntil([&] { return f.PreviewCount() == 2 && !f.DebounceTimer()->isActive(); }));
    TCMYFilter filter;
    PGFillFilterCurves(filter, 0, 5, 0);
    TPixelGraphic expected;
    expected.ApplyFilter(filter, reduced);
    ASSERT_TRUE(WaitUntil([&] {
      const TPixelGraphic* shown = view.PixelGraphicNoWait();
      return shown && shown->Width() == expected.Width() && shown->Pixels(0, 0) == expected.Pixels(0, 0) &&
             shown->Pixels(1, 1) == expected.Pixels(1, 1);
    }));
    const TPixelGraphic& shown = *view.PixelGraphicNoWait();
    ASSERT_EQ(shown.Height(), expected.Height());
    for (int y = 0; y < shown.Height(); ++y)
      for (int x = 0; x < shown.Width(); ++x) ASSERT_EQ(shown.Pixels(x, y), expected.Pixels(x, y)) << x << "," << y;
    // The window thread's filter is not the one the worker used.
    EXPECT_EQ(f.Dialog()->Filter().Source(), nullptr);
    QTest::keyClick(&f, Qt::Key_Escape);
  });

  // Without a picture: no preview machinery, the dialog still works.
  EXPECT_TRUE([&] {
    QTimer::singleShot(0, [&] {
      EXPECT_EQ(dlg.DialogWindow()->DebounceTimer(), nullptr);
      QTest::keyClick(dlg.DialogWindow()->TrackBar(1), Qt::Key_Right);
      QTest::keyClick(dlg.DialogWindow(), Qt::Key_Return);
    });
    return dlg.Execute();
  }());
  EXPECT_EQ(dlg.Cyan(), 1);

  // An empty picture: a 0x0 source and nothing to show.
  TPixelGraphic empty;
  RunWith(dlg, empty, [](TFilterDialogForm& f) {
    ASSERT_TRUE(WaitUntil([&] { return f.SourceReady(); }));
    EXPECT_TRUE(f.PreviewSource()->Empty());
    QTest::keyClick(&f, Qt::Key_Escape);
  });
}

TEST(FilterDialogs, ClosingWhileTheWorkersRun) {
  TBCGFilterDialog dlg;
  auto big = Gradient(3000, 2000);
  // At once: the source worker is still reducing.
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(RunWith(dlg, *big, [](TFilterDialogForm& f) { QTest::keyClick(&f, Qt::Key_Escape); }));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));

  // While previews are computed and posted, with changes still pending.
  auto image = Gradient(400, 300);
  for (int round = 0; round < 5; ++round) {
    EXPECT_FALSE(RunWith(dlg, *image, [round](TFilterDialogForm& f) {
      ASSERT_TRUE(WaitUntil([&] { return f.PreviewCount() >= 1; }));
      QTest::keyClick(f.TrackBar(1), Qt::Key_PageUp);
      QTest::qWait(100 + round);
      f.close();
    }));
  }
}

// Every caption whole in the three dialogs, whatever the font: the value
// labels at both ends of their sliders too ("+100%" and "-100%" with their
// signs, "0.20" and "5.00").
TEST(FilterDialogs, CaptionsShowWholeInAnyFont) {
  TGerman german;
  auto image = Gradient(40, 30);
  TRGBFilterDialog rgb;
  TCMYFilterDialog cmy;
  TBCGFilterDialog bcg;
  for (const captiontest::TTrialFont& font : captiontest::TrialFonts()) {
    captiontest::TAppFont app(font.Family, font.PointSize);
    for (TPreviewFilterDialog* dlg : {static_cast<TPreviewFilterDialog*>(&rgb), static_cast<TPreviewFilterDialog*>(&cmy),
                                      static_cast<TPreviewFilterDialog*>(&bcg)}) {
      SCOPED_TRACE(std::string(font.Family) + " " + std::to_string(font.PointSize) + " " + dlg->metaObject()->className());
      RunWith(*dlg, *image, [&](TFilterDialogForm& f) {
        for (int end : {-100, 100}) {
          for (int k = 1; k <= 3; ++k) f.TrackBar(k)->setValue(end);
          EXPECT_EQ(captiontest::CutCaptions(&f), std::vector<std::string>{});
        }
        if (dlg != &bcg) {
          EXPECT_EQ(Text(f.ValueLabel(1)), "+100%");
          f.TrackBar(1)->setValue(-100);
          EXPECT_EQ(Text(f.ValueLabel(1)), "-100%");
        }
        f.reject();
      });
    }
  }
}
