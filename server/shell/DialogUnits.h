#pragma once
// Dialog layouts are given in dialog units of an 8-point dialog font: a horizontal unit is
// a quarter, a vertical unit an eighth of the font's average character cell (6 x 13 px).
#include <QRect>

namespace zentarc::shell {

constexpr int dluX(int x) { return (x * 6 + 2) / 4; }
constexpr int dluY(int y) { return (y * 13 + 4) / 8; }
inline QRect dluRect(int x, int y, int w, int h) { return QRect(dluX(x), dluY(y), dluX(w), dluY(h)); }

}  // namespace zentarc::shell
