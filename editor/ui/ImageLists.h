#pragma once
// The editor's images: the tree's ("config", "main", "plc", "item"), the list's large
// icons (per base data type and "plc") and the toolbar's (per button key). Toolbar and
// tree images come from the desktop's icon theme by their freedesktop names; a drawn
// picture stands in for every name the theme lacks, so the editor looks complete without
// any theme installed.
#include <QIcon>
#include <QString>

namespace zentarc::editor {

QIcon ImgListTree(const QString& key);
QIcon ImgListList(const QString& key);
QIcon ImgListToolbar(const QString& key);

// The freedesktop icon name for a toolbar key; empty when no theme has one that fits.
QString themeIconName(const QString& key);
// The drawn picture for a toolbar key, at size pixels.
QIcon drawnImage(const QString& key, int size);

// Chooses an installed icon theme when the platform names none that has the editor's icons
// (a bare X session, a virtual display). Does nothing when the current theme has them.
void useDesktopIconTheme();

}  // namespace zentarc::editor
