#pragma once

#include <QFont>
#include <QIcon>
#include <QPixmap>

// Fonts and pictures of the window.
namespace Artwork {

// Kai-style and Song-style Chinese faces, named explicitly because fontconfig
// has no alias for the Windows names; the first installed family wins.
// Sizes are in pixels (points at 96 dpi) so the layout, which is in pixels,
// looks the same whatever DPI the display reports.
QFont kaiFont(int pixelSize, bool bold);
QFont songFont(int pixelSize);
QFont sansFont(int pixelSize, bool bold);
// For controls without a font of their own: fixed, so the window does not
// change with the locale's default Chinese face.
QFont applicationFont();
// Loads the faces above from `folder` (the Windows package's fonts folder,
// beside the program) where the system lacks them, so the window looks the
// same on a system without them. Returns the families loaded.
QStringList loadMissingFaces(const QString &folder);

QIcon windowIcon();
// The window icon drawn at any size, for the menu's icon theme.
QPixmap iconPixmap(int size);
QIcon triangleIcon(bool up);

} // namespace Artwork
