#pragma once
// The editor's images: the tree's ("config", "main", "plc", "item"), the list's large
// icons (the tree's PLC and item pictures, drawn large) and the toolbar's. Toolbar and
// tree images come from the desktop's icon theme by their freedesktop names; a drawn
// picture stands in for every name the theme lacks, so the editor looks complete without
// any theme installed.
#include <QIcon>
#include <QString>

namespace zentarc::editor {

inline constexpr int kLargeIconSize = 32;

QIcon ImgListTree(const QString& key);
QIcon ImgListList(const QString& key);
QIcon ImgListToolbar(const QString& key);

// The freedesktop icon name for a toolbar key; empty when no theme has one that fits.
QString themeIconName(const QString& key);
// The tree's drawn picture of a PLC ("plc") or an item ("item"), at size pixels.
QIcon drawnNodeImage(const QString& key, int size);
// The drawn picture for a toolbar key, at size pixels.
QIcon drawnImage(const QString& key, int size);

// Chooses an installed icon theme when the platform names none that has the editor's icons
// (a bare X session, a virtual display). Does nothing when the current theme has them.
void useDesktopIconTheme();

}  // namespace zentarc::editor
