#pragma once
// The editor's images, drawn at run time: the tree's ("config", "main", "plc", "item"),
// the list's large icons (per base data type and "plc") and the toolbar's (per button key).
#include <QIcon>
#include <QString>

namespace zentarc::editor {

QIcon ImgListTree(const QString& key);
QIcon ImgListList(const QString& key);
QIcon ImgListToolbar(const QString& key);

}  // namespace zentarc::editor
