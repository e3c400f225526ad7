#include "ImageLists.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace zentarc::editor {

namespace {

QPixmap canvas(int size) {
  QPixmap pm(size, size);
  pm.fill(Qt::transparent);
  return pm;
}

// A rounded badge with a short label: enough to tell the images apart at a glance.
QIcon badge(int size, const QColor& fill, const QString& label) {
  QPixmap pm = canvas(size);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(fill.darker(160), size / 16.0 + 0.5));
  p.setBrush(fill);
  p.drawRoundedRect(QRectF(1, 1, size - 2, size - 2), size / 6.0, size / 6.0);
  QFont f = p.font();
  f.setBold(true);
  f.setPixelSize(label.size() <= 1 ? size * 2 / 3 : (label.size() == 2 ? size / 2 : size * 3 / 8));
  p.setFont(f);
  p.setPen(Qt::white);
  p.drawText(pm.rect(), Qt::AlignCenter, label);
  return QIcon(pm);
}

QIcon page(int size, const QColor& mark) {
  QPixmap pm = canvas(size);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const double s = size;
  QPainterPath path;
  path.moveTo(s * 0.2, s * 0.05);
  path.lineTo(s * 0.62, s * 0.05);
  path.lineTo(s * 0.82, s * 0.25);
  path.lineTo(s * 0.82, s * 0.95);
  path.lineTo(s * 0.2, s * 0.95);
  path.closeSubpath();
  p.setPen(QPen(Qt::darkGray, 1));
  p.setBrush(Qt::white);
  p.drawPath(path);
  p.setPen(QPen(mark, s / 12));
  for (int i = 0; i < 3; ++i) p.drawLine(QPointF(s * 0.3, s * (0.4 + 0.17 * i)), QPointF(s * 0.72, s * (0.4 + 0.17 * i)));
  return QIcon(pm);
}

QIcon folder(int size) {
  QPixmap pm = canvas(size);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const double s = size;
  p.setPen(QPen(QColor(150, 110, 0), 1));
  p.setBrush(QColor(240, 190, 60));
  p.drawRect(QRectF(s * 0.08, s * 0.3, s * 0.84, s * 0.58));
  p.drawRect(QRectF(s * 0.08, s * 0.18, s * 0.35, s * 0.12));
  return QIcon(pm);
}

QIcon plc(int size) {
  QPixmap pm = canvas(size);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const double s = size;
  p.setPen(QPen(QColor(60, 60, 60), 1));
  p.setBrush(QColor(170, 175, 185));
  p.drawRect(QRectF(s * 0.1, s * 0.15, s * 0.8, s * 0.7));
  p.setBrush(QColor(40, 200, 60));
  p.drawEllipse(QRectF(s * 0.2, s * 0.28, s * 0.16, s * 0.16));
  p.setBrush(QColor(60, 60, 60));
  for (int i = 0; i < 3; ++i) p.drawRect(QRectF(s * (0.48 + 0.12 * i), s * 0.3, s * 0.07, s * 0.4));
  return QIcon(pm);
}

QIcon tagImage(int size) {
  QPixmap pm = canvas(size);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const double s = size;
  p.setPen(QPen(QColor(20, 60, 130), 1));
  p.setBrush(QColor(70, 130, 220));
  QPainterPath path;
  path.moveTo(s * 0.1, s * 0.3);
  path.lineTo(s * 0.65, s * 0.3);
  path.lineTo(s * 0.9, s * 0.5);
  path.lineTo(s * 0.65, s * 0.7);
  path.lineTo(s * 0.1, s * 0.7);
  path.closeSubpath();
  p.drawPath(path);
  return QIcon(pm);
}

template <typename Make>
QIcon cached(QHash<QString, QIcon>& cache, const QString& key, Make make) {
  auto it = cache.find(key);
  if (it == cache.end()) it = cache.insert(key, make());
  return *it;
}

}  // namespace

QIcon ImgListTree(const QString& key) {
  static QHash<QString, QIcon> cache;
  return cached(cache, key, [&] {
    if (key == "config") return page(16, QColor(60, 120, 200));
    if (key == "main") return folder(16);
    if (key == "plc") return plc(16);
    if (key == "item") return tagImage(16);
    return QIcon();
  });
}

QIcon ImgListList(const QString& key) {
  static QHash<QString, QIcon> cache;
  return cached(cache, key, [&] {
    static const QHash<QString, QPair<QColor, QString>> types = {
        {"boolean", {QColor(200, 60, 60), "B"}},
        {"unsigned 8 bit", {QColor(60, 140, 60), "U8"}},
        {"signed 8 bit", {QColor(40, 110, 140), "S8"}},
        {"unsigned 16 bit", {QColor(60, 160, 60), "U16"}},
        {"signed 16 bit", {QColor(40, 120, 170), "S16"}},
        {"unsigned 32 bit", {QColor(30, 120, 30), "U32"}},
        {"signed 32 bit", {QColor(30, 80, 160), "S32"}},
        {"32 bit float", {QColor(150, 80, 170), "F"}},
        {"string", {QColor(190, 130, 30), "S"}},
    };
    if (key == "plc") return plc(32);
    const auto it = types.find(key);
    if (it == types.end()) return QIcon();
    return badge(32, it->first, it->second);
  });
}

QIcon ImgListToolbar(const QString& key) {
  static QHash<QString, QIcon> cache;
  return cached(cache, key, [&] {
    if (key == "new") return page(24, QColor(40, 160, 40));
    if (key == "open") return folder(24);
    if (key == "plc") return plc(24);
    if (key == "item") return tagImage(24);
    static const QHash<QString, QPair<QColor, QString>> buttons = {
        {"save", {QColor(40, 90, 170), "S"}},      {"close", {QColor(120, 120, 120), "C"}},
        {"group", {QColor(150, 150, 150), "G"}},   {"copy", {QColor(70, 130, 200), "Cp"}},
        {"cut", {QColor(200, 120, 40), "X"}},      {"paste", {QColor(60, 160, 120), "P"}},
        {"delete", {QColor(200, 50, 50), "D"}},    {"icon", {QColor(100, 100, 160), "I"}},
        {"smallicon", {QColor(100, 100, 160), "i"}}, {"list", {QColor(100, 100, 160), "L"}},
        {"report", {QColor(100, 100, 160), "R"}},  {"find", {QColor(170, 140, 30), "F"}},
        {"exit", {QColor(140, 30, 30), "E"}},
    };
    const auto it = buttons.find(key);
    if (it == buttons.end()) return QIcon();
    return badge(24, it->first, it->second);
  });
}

}  // namespace zentarc::editor
