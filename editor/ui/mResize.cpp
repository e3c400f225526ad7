#include "mResize.h"

#include <cmath>

#include <QVariant>
#include <QWidget>

namespace zentarc::editor {

QStringList SplitByDelimiter(const QString& text, const QString& delimiter) {
  QStringList parts;
  if (delimiter.isEmpty()) {
    if (!text.isEmpty()) parts << text;
    return parts;
  }
  qsizetype position = 0;
  while (true) {
    const qsizetype p = text.indexOf(delimiter, position, Qt::CaseSensitive);
    if (p < 0) break;
    parts << text.mid(position, p - position);
    position = p + delimiter.size();
  }
  if (position < text.size()) parts << text.mid(position);
  return parts;
}

void ResizeControls(QWidget* frm, int refHeight, int refWidth) {
  if (!frm || frm->window()->isMinimized()) return;
  const double width = frm->width();
  const double height = frm->height();
  for (QWidget* c : frm->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    const QString tag = c->property("Tag").toString();
    if (tag.isEmpty()) {
      const int w = refHeight > 0 ? refWidth : frm->width();
      const int h = refHeight > 0 ? refHeight : frm->height();
      const QRect g = c->geometry();
      c->setProperty("Tag", QStringList{QString::number(w), QString::number(h), QString::number(g.x()),
                                        QString::number(g.y()), QString::number(g.width()),
                                        QString::number(g.height())}
                                .join('|'));
      continue;
    }
    const QStringList f = SplitByDelimiter(tag, "|");
    if (f.size() < 6) continue;  // not a record: leave the control where it is
    bool ok[6];
    double v[6];
    for (int i = 0; i < 6; ++i) v[i] = f[i].toDouble(&ok[i]);
    if (!ok[0] || !ok[1] || v[0] <= 0 || v[1] <= 0) continue;
    const double pw = (width - v[0]) * 100 / v[0];
    const double ph = (height - v[1]) * 100 / v[1];
    // Every control keeps its proportions, the views included: shortening them would leave
    // an empty band at the bottom of the window. The small allowance keeps a product that
    // is whole in exact arithmetic from flooring one pixel short.
    auto scaled = [](double v, double percent) {
      return static_cast<int>(std::floor(v + v * percent * 0.01 + 1e-6));
    };
    QRect g = c->geometry();
    if (ok[4]) g.setWidth(scaled(v[4], pw));
    if (ok[5]) g.setHeight(scaled(v[5], ph));
    if (ok[2]) g.moveLeft(scaled(v[2], pw));
    if (ok[3]) g.moveTop(scaled(v[3], ph));
    c->setGeometry(g);
  }
}

}  // namespace zentarc::editor
