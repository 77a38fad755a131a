// The program's pictures, drawn at run time: the icon (resource 6, also the main window's)
// and the About dialog's bitmap (resource 7).
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>

QIcon ProgramIcon();
// The About picture at the given size in pixels.
QPixmap AboutBitmap(QSize size);
// The picture of a bitmap resource (7), null for any other.
QPixmap BitmapResource(int resourceId, QSize size);
