#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

// The program's icon, drawn from its SVG at 16, 32 and 48 pixels.
QIcon ParvaneIcon();

// A picture from the resources at its own size; an SVG is rendered, anything else loaded.
QPixmap ResourcePicture(const QString& path);
