#pragma once

#include <QString>

#include "pgraphic/core/pixelgraphic.h"

class QPainter;
class QPrinter;
class QWidget;

// Printing an image fitted to the page.

// The print job's title: the application title (the Qt application display
// name, which is the application name unless set) followed by " Graphic ",
// width, "x", height, "x" and the number of colours 2^BitCountNum.
QString PrintJobTitle(const TPixelGraphic& image);

// Draws the image into the largest rectangle of its proportions on a page of
// pageWidth x pageHeight device pixels with the given resolutions (dots per
// inch across and down), centred along the other axis (PGPrintPageRect).
void PrintPage(const TPixelGraphic& image, QPainter& painter, int pageWidth, int pageHeight, int dpiX, int dpiY);

// Prints the image on printer as one page: with autoOrientation the page is
// landscape for a wide image and portrait for a tall one (unchanged for a
// square one); the printer's orientation is restored afterwards, also when
// printing fails. Nothing for an empty image. A printer that cannot start the
// document raises EPixelGraphic ("BeginDoc failed").
void Print(const TPixelGraphic& image, QPrinter& printer, bool autoOrientation);

// The same on the default printer, after a print dialog owned by owner when
// showDialog is set (cancelling it prints nothing).
void Print(const TPixelGraphic& image, bool showDialog, bool autoOrientation, QWidget* owner);
