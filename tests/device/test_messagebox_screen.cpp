#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <thread>

#include "pgraphic/device/messagebox.h"
#include "pgraphic/device/screen.h"

namespace {

struct THookGuard {
  platform::TMessageBoxHook Old = InstallQtMessageBoxHook();
  ~THookGuard() { platform::SetMessageBoxHook(Old); }
};

} // namespace

// On the window thread the box is shown and the user's button comes back.
TEST(QtMessageBox, WindowThreadShowsTheBox) {
  THookGuard guard;
  QString seenTitle, seenText;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->objectName(), QStringLiteral("PGMessageBox"));
    seenTitle = box->windowTitle();
    seenText = box->text();
    box->button(QMessageBox::No)->click();
  });
  EXPECT_EQ(platform::MessageBox("line 1\rline 2", "JPG Warning", platform::TMsgButtons::YesNoCancel,
                                 platform::TMsgIcon::Warning),
            platform::mrNo);
  EXPECT_EQ(seenTitle, QStringLiteral("JPG Warning"));
  EXPECT_EQ(seenText, QStringLiteral("line 1\nline 2"));
}

// A box is wide enough for its caption, however short its text: the caption
// in bold as title bars show it, beside the title bar's icon and buttons.
TEST(QtMessageBox, WideEnoughForItsCaption) {
  THookGuard guard;
  const QString title = QStringLiteral("Bereich markiert und noch eine ziemlich lange Überschrift");
  int width = 0, needed = 0;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    QFont bold = box->font();
    bold.setBold(true);
    needed = QFontMetrics(bold).horizontalAdvance(title) + 4 * QFontMetrics(bold).height();
    width = box->width();
    box->button(QMessageBox::Yes)->click();
  });
  EXPECT_EQ(platform::MessageBox("Ja?", title.toStdString(), platform::TMsgButtons::YesNo, platform::TMsgIcon::Question),
            platform::mrYes);
  EXPECT_GT(needed, 0);
  EXPECT_GE(width, needed);
}

// From a worker while the window thread waits for it (without running its
// event loop): no dialog, no deadlock, the safe answer.
TEST(QtMessageBox, WorkerThreadAnswersWithoutWaiting) {
  THookGuard guard;
  auto ask = [](platform::TMsgButtons b) {
    return std::async(std::launch::async,
                      [b] { return platform::MessageBox("text", "caption", b, platform::TMsgIcon::Warning); });
  };
  auto okCancel = ask(platform::TMsgButtons::OKCancel);
  ASSERT_EQ(okCancel.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(okCancel.get(), platform::mrCancel);
  auto yesNo = ask(platform::TMsgButtons::YesNo);
  ASSERT_EQ(yesNo.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(yesNo.get(), platform::mrNo);
  auto ok = ask(platform::TMsgButtons::OK);
  ASSERT_EQ(ok.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(ok.get(), platform::mrOk);
  EXPECT_EQ(QApplication::topLevelWidgets().size(), 0);
}

// The screen's depth, and the override that emulates 4- and 8-bit displays.
TEST(ScreenBitsPerPixel, ScreenDepthAndOverride) {
  EXPECT_GT(ScreenBitsPerPixel(), 8);
  PGScreenBitsPerPixelOverride = 4;
  EXPECT_EQ(ScreenBitsPerPixel(), 4);
  PGScreenBitsPerPixelOverride = 8;
  EXPECT_EQ(ScreenBitsPerPixel(), 8);
  PGScreenBitsPerPixelOverride = 0;
  EXPECT_GT(ScreenBitsPerPixel(), 8);
}
