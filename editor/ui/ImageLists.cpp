#include "ImageLists.h"

#include <functional>

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace zentarc::editor {

namespace {

using Draw = std::function<void(QPainter&, double)>;

QIcon picture(int size, const Draw& draw) {
  QPixmap pm(size, size);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  draw(p, size);
  return QIcon(pm);
}

const QColor kInk(60, 60, 60);

void sheet(QPainter& p, double s, QRectF r) {
  QPainterPath path;
  const double fold = s * 0.2;
  path.moveTo(r.left(), r.top());
  path.lineTo(r.right() - fold, r.top());
  path.lineTo(r.right(), r.top() + fold);
  path.lineTo(r.right(), r.bottom());
  path.lineTo(r.left(), r.bottom());
  path.closeSubpath();
  p.setPen(QPen(QColor(110, 110, 110), 1));
  p.setBrush(Qt::white);
  p.drawPath(path);
}

void lines(QPainter& p, double s, QRectF r, int n, const QColor& c) {
  p.setPen(QPen(c, s / 14));
  for (int i = 0; i < n; ++i) {
    const double y = r.top() + (i + 1) * r.height() / (n + 1);
    p.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
  }
}

void plus(QPainter& p, double s) {
  p.setPen(QPen(QColor(30, 140, 40), s / 8, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(s * 0.78, s * 0.58), QPointF(s * 0.78, s * 0.94));
  p.drawLine(QPointF(s * 0.6, s * 0.76), QPointF(s * 0.96, s * 0.76));
}

void folderShape(QPainter& p, double s) {
  p.setPen(QPen(QColor(150, 110, 0), 1));
  p.setBrush(QColor(240, 190, 60));
  p.drawRect(QRectF(s * 0.08, s * 0.3, s * 0.84, s * 0.58));
  p.drawRect(QRectF(s * 0.08, s * 0.18, s * 0.35, s * 0.12));
}

void plcShape(QPainter& p, double s) {
  p.setPen(QPen(kInk, 1));
  p.setBrush(QColor(170, 175, 185));
  p.drawRect(QRectF(s * 0.1, s * 0.15, s * 0.8, s * 0.7));
  p.setBrush(QColor(40, 200, 60));
  p.drawEllipse(QRectF(s * 0.2, s * 0.28, s * 0.16, s * 0.16));
  p.setBrush(kInk);
  for (int i = 0; i < 3; ++i) p.drawRect(QRectF(s * (0.48 + 0.12 * i), s * 0.3, s * 0.07, s * 0.4));
}

void tagShape(QPainter& p, double s) {
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
}

void clipboardShape(QPainter& p, double s) {
  p.setPen(QPen(QColor(120, 80, 30), 1));
  p.setBrush(QColor(200, 150, 90));
  p.drawRoundedRect(QRectF(s * 0.12, s * 0.12, s * 0.7, s * 0.82), s * 0.06, s * 0.06);
  p.setBrush(QColor(150, 150, 150));
  p.drawRect(QRectF(s * 0.32, s * 0.06, s * 0.3, s * 0.14));
  sheet(p, s, QRectF(s * 0.22, s * 0.26, s * 0.5, s * 0.6));
}

void grid(QPainter& p, double s, int n) {
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(70, 110, 170));
  const double cell = s * 0.84 / n;
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c)
      p.drawRect(QRectF(s * 0.08 + c * cell + cell * 0.12, s * 0.08 + r * cell + cell * 0.12, cell * 0.76,
                        cell * 0.76));
}

void rows(QPainter& p, double s, bool columns) {
  p.setPen(QPen(QColor(70, 110, 170), s / 10));
  for (int i = 0; i < 4; ++i) {
    const double y = s * (0.2 + 0.2 * i);
    p.drawPoint(QPointF(s * 0.14, y));
    p.drawLine(QPointF(s * 0.3, y), QPointF(columns ? s * 0.55 : s * 0.9, y));
    if (columns) p.drawLine(QPointF(s * 0.66, y), QPointF(s * 0.9, y));
  }
}

const QHash<QString, Draw>& toolbarPictures() {
  static const QHash<QString, Draw> pictures = {
      {"new", [](QPainter& p, double s) { sheet(p, s, QRectF(s * 0.2, s * 0.08, s * 0.6, s * 0.84)); plus(p, s); }},
      {"open", [](QPainter& p, double s) { folderShape(p, s); }},
      {"save",
       [](QPainter& p, double s) {
         p.setPen(QPen(QColor(30, 60, 120), 1));
         p.setBrush(QColor(60, 100, 180));
         p.drawRoundedRect(QRectF(s * 0.1, s * 0.1, s * 0.8, s * 0.8), s * 0.08, s * 0.08);
         p.setBrush(Qt::white);
         p.drawRect(QRectF(s * 0.24, s * 0.1, s * 0.52, s * 0.3));
         p.setBrush(QColor(200, 200, 200));
         p.drawRect(QRectF(s * 0.3, s * 0.58, s * 0.4, s * 0.32));
       }},
      {"close",
       [](QPainter& p, double s) {
         sheet(p, s, QRectF(s * 0.15, s * 0.08, s * 0.6, s * 0.84));
         p.setPen(QPen(QColor(170, 40, 40), s / 8, Qt::SolidLine, Qt::RoundCap));
         p.drawLine(QPointF(s * 0.55, s * 0.55), QPointF(s * 0.9, s * 0.9));
         p.drawLine(QPointF(s * 0.9, s * 0.55), QPointF(s * 0.55, s * 0.9));
       }},
      {"plc", [](QPainter& p, double s) { plcShape(p, s); plus(p, s); }},
      {"group", [](QPainter& p, double s) { folderShape(p, s); plus(p, s); }},
      {"item", [](QPainter& p, double s) { tagShape(p, s); plus(p, s); }},
      {"copy",
       [](QPainter& p, double s) {
         sheet(p, s, QRectF(s * 0.1, s * 0.06, s * 0.5, s * 0.62));
         sheet(p, s, QRectF(s * 0.38, s * 0.32, s * 0.5, s * 0.62));
       }},
      {"cut",
       [](QPainter& p, double s) {
         p.setPen(QPen(kInk, s / 12));
         p.drawLine(QPointF(s * 0.3, s * 0.1), QPointF(s * 0.62, s * 0.62));
         p.drawLine(QPointF(s * 0.7, s * 0.1), QPointF(s * 0.38, s * 0.62));
         p.setBrush(Qt::NoBrush);
         p.drawEllipse(QRectF(s * 0.14, s * 0.6, s * 0.28, s * 0.28));
         p.drawEllipse(QRectF(s * 0.58, s * 0.6, s * 0.28, s * 0.28));
       }},
      {"paste",
       [](QPainter& p, double s) {
         clipboardShape(p, s);
         lines(p, s, QRectF(s * 0.3, s * 0.36, s * 0.34, s * 0.4), 3, kInk);
       }},
      {"delete",
       [](QPainter& p, double s) {
         p.setPen(QPen(QColor(190, 40, 40), s / 6, Qt::SolidLine, Qt::RoundCap));
         p.drawLine(QPointF(s * 0.22, s * 0.22), QPointF(s * 0.78, s * 0.78));
         p.drawLine(QPointF(s * 0.78, s * 0.22), QPointF(s * 0.22, s * 0.78));
       }},
      {"icon", [](QPainter& p, double s) { grid(p, s, 2); }},
      {"smallicon", [](QPainter& p, double s) { grid(p, s, 3); }},
      {"list", [](QPainter& p, double s) { rows(p, s, false); }},
      {"report", [](QPainter& p, double s) { rows(p, s, true); }},
      {"find",
       [](QPainter& p, double s) {
         p.setPen(QPen(kInk, s / 10));
         p.setBrush(QColor(200, 225, 250));
         p.drawEllipse(QRectF(s * 0.12, s * 0.12, s * 0.5, s * 0.5));
         p.setPen(QPen(kInk, s / 7, Qt::SolidLine, Qt::RoundCap));
         p.drawLine(QPointF(s * 0.56, s * 0.56), QPointF(s * 0.88, s * 0.88));
       }},
      {"exit",
       [](QPainter& p, double s) {
         p.setPen(QPen(kInk, 1));
         p.setBrush(QColor(150, 100, 60));
         p.drawRect(QRectF(s * 0.14, s * 0.08, s * 0.42, s * 0.84));
         p.setPen(QPen(QColor(170, 40, 40), s / 9, Qt::SolidLine, Qt::RoundCap));
         p.drawLine(QPointF(s * 0.46, s * 0.5), QPointF(s * 0.92, s * 0.5));
         p.drawLine(QPointF(s * 0.76, s * 0.34), QPointF(s * 0.92, s * 0.5));
         p.drawLine(QPointF(s * 0.76, s * 0.66), QPointF(s * 0.92, s * 0.5));
       }},
      // The two bulk commands: a clipboard with a tag (names) or with a speech mark (comments).
      {"pastitem",
       [](QPainter& p, double s) {
         clipboardShape(p, s);
         p.scale(0.55, 0.55);
         p.translate(s * 0.55, s * 0.7);
         tagShape(p, s);
       }},
      {"pastcomment",
       [](QPainter& p, double s) {
         clipboardShape(p, s);
         p.setPen(QPen(QColor(30, 110, 60), 1));
         p.setBrush(QColor(120, 200, 130));
         QPainterPath bubble;
         bubble.addRoundedRect(QRectF(s * 0.42, s * 0.48, s * 0.54, s * 0.34), s * 0.08, s * 0.08);
         bubble.moveTo(s * 0.52, s * 0.82);
         bubble.lineTo(s * 0.5, s * 0.98);
         bubble.lineTo(s * 0.66, s * 0.82);
         p.drawPath(bubble.simplified());
       }},
  };
  return pictures;
}

template <typename Make>
QIcon cached(QHash<QString, QIcon>& cache, const QString& key, Make make) {
  auto it = cache.find(key);
  if (it == cache.end()) it = cache.insert(key, make());
  return *it;
}

}  // namespace

QString themeIconName(const QString& key) {
  static const QHash<QString, QString> names = {
      {"new", "document-new"},     {"open", "document-open"},        {"save", "document-save"},
      {"close", "window-close"},   {"copy", "edit-copy"},            {"cut", "edit-cut"},
      {"paste", "edit-paste"},     {"delete", "edit-delete"},        {"icon", "view-list-icons"},
      {"list", "view-list"},       {"report", "view-list-details"},  {"find", "edit-find"},
      {"exit", "application-exit"}, {"pastitem", "edit-find-replace"}, {"pastcomment", "insert-text"},
  };
  return names.value(key);
}

QIcon drawnImage(const QString& key, int size) {
  const auto it = toolbarPictures().find(key);
  if (it == toolbarPictures().end()) return QIcon();
  return picture(size, *it);
}

QIcon ImgListToolbar(const QString& key) {
  static QHash<QString, QIcon> cache;
  return cached(cache, key, [&] {
    const QString name = themeIconName(key);
    const QIcon drawn = drawnImage(key, 24);
    return name.isEmpty() ? drawn : QIcon::fromTheme(name, drawn);
  });
}

QIcon drawnNodeImage(const QString& key, int size) {
  if (key == "plc") return picture(size, [](QPainter& p, double s) { plcShape(p, s); });
  if (key == "item") return picture(size, [](QPainter& p, double s) { tagShape(p, s); });
  return QIcon();
}

QIcon ImgListTree(const QString& key) {
  static QHash<QString, QIcon> cache;
  return cached(cache, key, [&] {
    if (key == "config")
      return QIcon::fromTheme("text-x-generic", picture(16, [](QPainter& p, double s) {
                                sheet(p, s, QRectF(s * 0.2, s * 0.05, s * 0.62, s * 0.9));
                                lines(p, s, QRectF(s * 0.3, s * 0.3, s * 0.42, s * 0.55), 3, QColor(60, 120, 200));
                              }));
    if (key == "main") return QIcon::fromTheme("folder", picture(16, [](QPainter& p, double s) { folderShape(p, s); }));
    return drawnNodeImage(key, 16);
  });
}

// The large icons are the tree's pictures drawn large: a PLC, or a tag for an item of any
// type, also an unknown one (the caption names the type).
QIcon ImgListList(const QString& key) {
  static QHash<QString, QIcon> cache;
  return cached(cache, key, [&] {
    return drawnNodeImage(key == "plc" ? "plc" : "item", kLargeIconSize);
  });
}

void useDesktopIconTheme() {
  if (QIcon::hasThemeIcon("document-open")) return;
  for (const char* theme : {"Adwaita", "breeze", "Tango", "gnome", "oxygen"}) {
    for (const QString& root : QIcon::themeSearchPaths()) {
      if (!QFileInfo::exists(QDir(root).filePath(QString(theme) + "/index.theme"))) continue;
      QIcon::setThemeName(theme);
      if (QIcon::hasThemeIcon("document-open")) return;
    }
  }
}

}  // namespace zentarc::editor
