#include "ItemList.h"

#include <algorithm>

#include <QDataStream>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListView>
#include <QStackedLayout>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QTreeView>

#include "editor/document/CaseFold.h"
#include "editor/ui/ImageLists.h"

namespace zentarc::editor {

namespace {
constexpr int kKeyRole = Qt::UserRole + 1;
constexpr int kLargeRole = Qt::UserRole + 2;
constexpr int kSmallRole = Qt::UserRole + 3;
constexpr int kCaptionRole = Qt::UserRole + 4;
constexpr int kDefaultColumnPixels = 100;

// Icon mode shows each row's caption line under its text.
class CaptionDelegate : public QStyledItemDelegate {
 public:
  CaptionDelegate(const ItemList& list, QObject* parent) : QStyledItemDelegate(parent), list_(list) {}

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    option->text = list_.shownText(index.row());
  }

 private:
  const ItemList& list_;
};
}  // namespace

ItemList::ItemList(QWidget* parent) : QWidget(parent) {
  setObjectName("ListView1");
  model_ = new QStandardItemModel(this);
  selection_ = new QItemSelectionModel(model_, this);
  report_ = new QTreeView(this);
  report_->setObjectName("ListView1_report");
  report_->setRootIsDecorated(false);
  report_->setUniformRowHeights(true);
  report_->setModel(model_);
  report_->setSelectionModel(selection_);
  report_->header()->setSectionsClickable(true);
  report_->header()->setStretchLastSection(false);
  icons_ = new QListView(this);
  icons_->setObjectName("ListView1_icons");
  icons_->setModel(model_);
  icons_->setSelectionModel(selection_);
  icons_->setResizeMode(QListView::Adjust);
  icons_->setItemDelegate(new CaptionDelegate(*this, icons_));
  for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(report_),
                               static_cast<QAbstractItemView*>(icons_)}) {
    v->setSelectionMode(QAbstractItemView::ExtendedSelection);
    v->setSelectionBehavior(QAbstractItemView::SelectRows);
    v->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(v, &QAbstractItemView::clicked, this, [this] { emit clicked(); });
    connect(v, &QAbstractItemView::doubleClicked, this, [this] { emit doubleClicked(); });
  }
  connect(report_->header(), &QHeaderView::sectionClicked, this,
          [this](int c) { emit columnClicked(c); });
  connect(report_->header(), &QHeaderView::sectionResized, this, [this](int c, int, int size) {
    if (applyingWidths_ || columnSet_.isEmpty() || size <= 0) return;
    QList<int>& widths = userWidths_[columnSet_];
    while (widths.size() <= c) widths.append(0);
    widths[c] = size;
  });
  report_->installEventFilter(this);
  icons_->installEventFilter(this);
  stack_ = new QStackedLayout(this);
  stack_->setContentsMargins(0, 0, 0, 0);
  stack_->addWidget(report_);
  stack_->addWidget(icons_);
}

void ItemList::clearAll() {
  columnSet_.clear();
  applyingWidths_ = true;
  model_->clear();
  applyingWidths_ = false;
  shares_.clear();
}

void ItemList::setColumnSet(const QString& name) {
  columnSet_ = name;
  applyWidths();
}

QByteArray ItemList::saveColumnWidths() const {
  QByteArray data;
  QDataStream out(&data, QIODevice::WriteOnly);
  out << userWidths_;
  return data;
}

void ItemList::restoreColumnWidths(const QByteArray& data) {
  if (data.isEmpty()) return;
  QDataStream in(data);
  QHash<QString, QList<int>> widths;
  in >> widths;
  if (in.status() != QDataStream::Ok) return;  // a damaged record is ignored
  for (auto it = widths.begin(); it != widths.end(); ++it)
    for (int& w : *it) w = std::clamp(w, 0, 10000);
  userWidths_ = widths;
  applyWidths();
}

bool ItemList::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == report_ || watched == icons_) && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && key->modifiers() == Qt::NoModifier) {
      if (currentRow() >= 0) emit enterPressed();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void ItemList::addColumn(const QString& title, double share) {
  const int c = model_->columnCount();
  model_->setColumnCount(c + 1);
  model_->setHorizontalHeaderItem(c, new QStandardItem(title));
  shares_.append(share);
  applyWidths();
}

int ItemList::columnCount() const { return model_->columnCount(); }

QString ItemList::columnTitle(int column) const {
  const QStandardItem* h = model_->horizontalHeaderItem(column);
  return h ? h->text() : QString();
}

int ItemList::columnWidth(int column) const { return report_->header()->sectionSize(column); }

void ItemList::applyWidths() {
  const int w = width();
  const QList<int> user = userWidths_.value(columnSet_);
  applyingWidths_ = true;
  for (int c = 0; c < shares_.size(); ++c) {
    int px = shares_[c] < 0 ? kDefaultColumnPixels : static_cast<int>(shares_[c] * w);
    if (c < user.size() && user[c] > 0) px = user[c];
    report_->header()->resizeSection(c, px);
  }
  applyingWidths_ = false;
}

void ItemList::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  applyWidths();
}

int ItemList::addRow(const QString& key, const QString& text, const QString& largeIcon,
                     const QString& smallIcon) {
  auto* item = new QStandardItem(text);
  item->setData(key, kKeyRole);
  item->setData(largeIcon, kLargeRole);
  item->setData(smallIcon, kSmallRole);
  item->setIcon(mode_ == ViewMode::Icon ? ImgListList(largeIcon) : ImgListTree(smallIcon));
  QList<QStandardItem*> row{item};
  for (int c = 1; c < std::max(1, model_->columnCount()); ++c) row.append(new QStandardItem);
  model_->appendRow(row);
  return model_->rowCount() - 1;
}

void ItemList::setSubItem(int row, int column, const QString& text) {
  if (column >= model_->columnCount()) return;
  QStandardItem* item = model_->item(row, column);
  if (!item) model_->setItem(row, column, item = new QStandardItem);
  item->setText(text);
}

int ItemList::rowCount() const { return model_->rowCount(); }

QString ItemList::rowKey(int row) const { return model_->item(row, 0)->data(kKeyRole).toString(); }

QString ItemList::text(int row, int column) const {
  const QStandardItem* item = model_->item(row, column);
  return item ? item->text() : QString();
}

void ItemList::setRowText(int row, const QString& text) {
  model_->item(row, 0)->setText(text);
  model_->item(row, 0)->setData(text, kKeyRole);
}

int ItemList::rowOfKey(const QString& key) const {
  const std::string k = foldCase(key.toStdString());
  for (int r = 0; r < model_->rowCount(); ++r)
    if (foldCase(rowKey(r).toStdString()) == k) return r;
  return -1;
}

QString ItemList::largeIconKey(int row) const {
  return model_->item(row, 0)->data(kLargeRole).toString();
}

void ItemList::setCaption(int row, const QString& caption) { model_->item(row, 0)->setData(caption, kCaptionRole); }

QString ItemList::shownText(int row) const {
  const QStandardItem* item = model_->item(row, 0);
  if (!item) return QString();
  const QString caption = item->data(kCaptionRole).toString();
  if (mode_ != ViewMode::Icon || caption.isEmpty()) return item->text();
  return item->text() + "\n" + caption;
}

QList<int> ItemList::selectedRows() const {
  QList<int> rows;
  for (const QModelIndex& i : selection_->selectedRows(0)) rows.append(i.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

int ItemList::currentRow() const {
  const QModelIndex i = selection_->currentIndex();
  if (i.isValid() && selection_->isRowSelected(i.row())) return i.row();
  const QList<int> rows = selectedRows();
  return rows.isEmpty() ? -1 : rows.first();
}

void ItemList::selectRow(int row, bool keepOthers) {
  const QModelIndex i = model_->index(row, 0);
  auto flags = QItemSelectionModel::Select | QItemSelectionModel::Rows;
  if (!keepOthers) flags |= QItemSelectionModel::Clear;
  selection_->setCurrentIndex(i, flags);
}

void ItemList::ensureVisible(int row) {
  const QModelIndex i = model_->index(row, 0);
  report_->scrollTo(i);
  icons_->scrollTo(i);
}

void ItemList::setViewMode(ViewMode mode) {
  mode_ = mode;
  switch (mode) {
    case ViewMode::Report:
      stack_->setCurrentWidget(report_);
      break;
    case ViewMode::Icon:
      icons_->setViewMode(QListView::IconMode);
      icons_->setIconSize(QSize(kLargeIconSize, kLargeIconSize));
      icons_->setWordWrap(true);
      icons_->setGridSize(QSize(132, kLargeIconSize + 3 * fontMetrics().height()));
      icons_->setWrapping(true);
      stack_->setCurrentWidget(icons_);
      break;
    case ViewMode::SmallIcon:
      icons_->setViewMode(QListView::ListMode);
      icons_->setGridSize(QSize());
      icons_->setFlow(QListView::LeftToRight);
      icons_->setIconSize(QSize(16, 16));
      icons_->setWrapping(true);
      stack_->setCurrentWidget(icons_);
      break;
    case ViewMode::List:
      icons_->setViewMode(QListView::ListMode);
      icons_->setGridSize(QSize());
      icons_->setFlow(QListView::TopToBottom);
      icons_->setIconSize(QSize(16, 16));
      icons_->setWrapping(true);
      stack_->setCurrentWidget(icons_);
      break;
  }
  applyIcons();
}

void ItemList::applyIcons() {
  for (int r = 0; r < model_->rowCount(); ++r) {
    QStandardItem* item = model_->item(r, 0);
    item->setIcon(mode_ == ViewMode::Icon ? ImgListList(item->data(kLargeRole).toString())
                                          : ImgListTree(item->data(kSmallRole).toString()));
  }
}

void ItemList::sortNow() {
  if (!sorted_ || sortKey_ < 0 || sortKey_ >= model_->columnCount()) return;
  // Text order without regard to letter case, stable for equal texts.
  QList<QList<QStandardItem*>> rows;
  while (model_->rowCount() > 0) rows.append(model_->takeRow(0));
  const int c = sortKey_;
  auto textOf = [c](const QList<QStandardItem*>& row) {
    return c < row.size() && row[c] ? row[c]->text() : QString();
  };
  std::stable_sort(rows.begin(), rows.end(), [&](const auto& a, const auto& b) {
    return textOf(a).compare(textOf(b), Qt::CaseInsensitive) < 0;
  });
  for (auto& row : rows) model_->appendRow(row);
}

}  // namespace zentarc::editor
