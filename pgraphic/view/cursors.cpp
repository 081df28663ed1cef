#include "pgraphic/view/cursors.h"

#include <QBitmap>
#include <QCoreApplication>
#include <QImage>

#include <array>
#include <cstdlib>
#include <memory>

namespace {

constexpr int kSize = 32;
using TArt = TPGCursorArt;

TArt Blank() { return PGBlankCursorArt(); }

// Copies rows of text into the drawing with their first character at (x, y).
void Put(TArt& a, int x, int y, std::initializer_list<const char*> rows) {
  for (const char* row : rows) {
    for (int i = 0; row[i]; ++i)
      if (row[i] != ' ') a[static_cast<size_t>(y)][static_cast<size_t>(x + i)] = row[i];
    ++y;
  }
}

TArt OpenHand() {
  TArt a = Blank();
  Put(a, 8, 4,
      {"       ##       ",
       "   ## #..###    ",
       "  #..##..#..#   ",
       "  #..##..#..# # ",
       "   #..#..#..##.#",
       "   #..#..#..#..#",
       " ## #.......#..#",
       "#..##..........#",
       "#...#.........# ",
       " #............# ",
       "  #...........# ",
       "  #..........#  ",
       "   #.........#  ",
       "    #.......#   ",
       "     #......#   ",
       "     #......#   "});
  return a;
}

TArt ClosedHand() {
  TArt a = Blank();
  Put(a, 8, 4,
      {"                ",
       "                ",
       "                ",
       "    ## ## ##    ",
       "   #..#..#..##  ",
       "   #........#.# ",
       "    #.........# ",
       "   ##.........# ",
       "  #...........# ",
       "  #...........# ",
       "   #..........# ",
       "    #........#  ",
       "     #.......#  ",
       "      #......#  ",
       "      #......#  "});
  return a;
}

TArt CrossHair() {
  TArt a = Blank();
  // Dashes of black and white pixels along both axes through (15, 15),
  // leaving the five pixels around the centre open.
  for (int i = 0; i < kSize - 1; ++i) {
    if (std::abs(i - 15) <= 4) continue;
    const char c = (i & 1) ? '#' : '.';
    a[15][size_t(i)] = c;
    a[size_t(i)][15] = c;
  }
  return a;
}

TArt MoveArrows() {
  TArt a = Blank();
  for (int i = 4; i <= 28; ++i) {
    a[15][size_t(i)] = '#';
    a[size_t(i - 1)][16] = '#';
  }
  // Arrow heads at the four ends.
  for (int k = 1; k <= 3; ++k)
    for (int j = -k; j <= k; ++j) {
      a[size_t(15 + j)][size_t(4 + k)] = '#';
      a[size_t(15 + j)][size_t(28 - k)] = '#';
      a[size_t(3 + k)][size_t(16 + j)] = '#';
      a[size_t(27 - k)][size_t(16 + j)] = '#';
    }
  PGOutlineCursorArt(a);
  return a;
}

struct TCursors {
  QCursor Cursor[4];
};
std::unique_ptr<TCursors>& Holder() {
  static std::unique_ptr<TCursors> holder;
  return holder;
}
// The bitmaps belong to the window system: freed with the application object.
void FreeCursors() { Holder().reset(); }

} // namespace

QPoint PGCursorHotSpot(TPGCursor which) {
  static constexpr QPoint hot[4] = {{16, 12}, {16, 12}, {15, 15}, {16, 15}};
  return hot[which & 3];
}

QCursor PGCursor(TPGCursor which) {
  std::unique_ptr<TCursors>& holder = Holder();
  if (!holder) {
    holder = std::make_unique<TCursors>();
    const TArt arts[4] = {OpenHand(), ClosedHand(), CrossHair(), MoveArrows()};
    for (int i = 0; i < 4; ++i) {
      TArt art = arts[i];
      if (i < 2) PGOutlineCursorArt(art);  // the hands' outlines are drawn, their sides get a rim
      holder->Cursor[i] = PGMakeCursor(art, PGCursorHotSpot(static_cast<TPGCursor>(i)));
    }
    qAddPostRoutine(FreeCursors);
  }
  return holder->Cursor[which & 3];
}

TPGCursorArt PGBlankCursorArt() {
  TPGCursorArt a;
  for (auto& row : a) row.fill(' ');
  return a;
}

// Every transparent pixel next to a black one turns white, so the black
// lines show on any background.
void PGOutlineCursorArt(TPGCursorArt& a) {
  const TPGCursorArt before = a;
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      if (before[size_t(y)][size_t(x)] != ' ') continue;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          const int nx = x + dx, ny = y + dy;
          if (nx >= 0 && ny >= 0 && nx < kSize && ny < kSize && before[size_t(ny)][size_t(nx)] == '#')
            a[size_t(y)][size_t(x)] = '.';
        }
    }
}

QCursor PGMakeCursor(const TPGCursorArt& art, QPoint hot) {
  QImage bits(kSize, kSize, QImage::Format_Mono), mask(kSize, kSize, QImage::Format_Mono);
  bits.fill(0);
  mask.fill(0);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      const char c = art[size_t(y)][size_t(x)];
      bits.setPixel(x, y, c == '#' ? 1 : 0);
      mask.setPixel(x, y, c == ' ' ? 0 : 1);
    }
  return QCursor(QBitmap::fromImage(bits), QBitmap::fromImage(mask), hot.x(), hot.y());
}
