// zwillo-stereo3d: the stereo program starts it in its hand-off folder, without
// arguments; it shows "ELSAVIEWER.BMP" from there.
#include <QApplication>

#include "app/stereo3d/stereo3dview.h"
#include "pgraphic/core/messages.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("zwillo-stereo3d");
  // The library's messages (a damaged file) in German, like the stereo program's.
  MessageLanguage = 1;
  TStereo3DViewer viewer;
  viewer.LoadFromWorkingDirectory();
  viewer.show();
  return QApplication::exec();
}
