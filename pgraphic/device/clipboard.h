#pragma once

#include <QByteArray>

#include "pgraphic/core/pixelgraphic.h"

class QClipboard;
class QMimeData;

// The image on the system clipboard. It is offered as "image/bmp" (a BMP
// file: the 14-byte file header followed by the image's CF_DIB block) and as
// an image, so that other programs find a format they know.

// The "image/bmp" bytes of the image.
QByteArray ClipboardBmp(TPixelGraphic& image);
// Mime data offering the image both ways (the caller owns it).
QMimeData* ClipboardMimeData(TPixelGraphic& image);
// Reads the image from mime data: "image/bmp" through the library's own
// bitmap reader, otherwise an image Qt offers (as 24 bit). No mime data, or
// neither format, raises EPGUnknownClipboardFormat "Unknown clipboard format".
void LoadFromMimeData(TPixelGraphic& image, const QMimeData* data);

// The same on the application's clipboard (QGuiApplication::clipboard() when
// clipboard is null).
void SaveToClipboard(TPixelGraphic& image, QClipboard* clipboard = nullptr);
void LoadFromClipboard(TPixelGraphic& image, QClipboard* clipboard = nullptr);
