// Every window of the program shows its captions whole, whatever the font:
// the main window, the settings dialog, the About window, the progress
// window, the open and save dialogs with their preview panel and the three
// filter dialogs, each opened as a user opens it.
#include "mainform_test_util.h"

#include <QLabel>

#include "app/desktop/program.h"
#include "app/desktop/forms/progressform.h"
#include "common/caption_test_util.h"

using namespace desktoptest;

namespace {

class Captions : public MainWindowTest {
protected:
  // Opens a dialog by act and expects its captions whole; the dialog is left
  // with Escape (reject).
  void ExpectWholeIn(const std::function<void()>& act, const char* what) {
    bool seen = false;
    OnModal([&](QDialog* dialog) {
      seen = true;
      EXPECT_EQ(captiontest::CutCaptions(dialog), std::vector<std::string>{}) << what;
      if (auto* tabs = dialog->findChild<QTabWidget*>("PageControl1")) {
        tabs->setCurrentIndex(1);  // the second tab page shown as well
        QApplication::processEvents();
        EXPECT_EQ(captiontest::CutCaptions(dialog), std::vector<std::string>{}) << what;
      }
      dialog->reject();
    });
    act();
    QApplication::processEvents();
    EXPECT_TRUE(seen) << what;
  }
};

} // namespace

TEST_F(Captions, EveryWindowShowsItsCaptionsWholeInAnyFont) {
  for (const captiontest::TTrialFont& font : captiontest::TrialFonts()) {
    SCOPED_TRACE(std::string(font.Family) + " " + std::to_string(font.PointSize));
    captiontest::TAppFont app(font.Family, font.PointSize);
    Main.reset();
    TMainOptions options;
    options.UseWindowPosition = false;
    Main = std::make_unique<TMain>(options);
    LoadProgramSettings(*Main);
    Messages.clear();

    Main->ShowProgress("Verkantung ausgleichen", 0);
    EXPECT_EQ(captiontest::CutCaptions(Main.get()), std::vector<std::string>{});
    EXPECT_EQ(captiontest::CutCaptions(Main->Form2()), std::vector<std::string>{});
    ExpectWholeIn([&] { Action("Einstellungen1")->trigger(); }, "settings");
    ExpectWholeIn([&] { Action("MIAbout")->trigger(); }, "About");
    ExpectWholeIn([&] { Click("ToolButton1"); }, "open dialog");
    LoadSide(0, WritePicture("c.bmp", *Gradient(60, 40)));
    for (const char* item : {"PI1", "PI2", "PI3"})
      ExpectWholeIn([&] { ClickItem(OpenPopup(Main->ImLinks()), item); }, item);
    Main->ImStereo()->AdoptPixelGraphic(Gradient(60, 40));
    ClickTab(2);
    Main->UpdateControls();
    ExpectWholeIn([&] { Click("BtSaveStereo"); }, "save dialog");
    EXPECT_TRUE(Messages.empty());
  }
}
