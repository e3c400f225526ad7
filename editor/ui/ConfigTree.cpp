#include "ConfigTree.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QStyledItemDelegate>

#include "editor/document/CaseFold.h"
#include "editor/document/EditorError.h"
#include "editor/ui/ImageLists.h"

namespace zentarc::editor {

namespace {

constexpr int kKeyRole = Qt::UserRole + 1;
constexpr int kTagRole = Qt::UserRole + 2;

QString folded(const QString& key) {
  return QString::fromStdString(foldCase(key.toStdString()));
}

// Passes a confirmed label to the window's handler instead of storing it directly.
class LabelEditDelegate : public QStyledItemDelegate {
 public:
  explicit LabelEditDelegate(ConfigTree* tree) : QStyledItemDelegate(tree), tree_(tree) {}
  void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
    auto* line = qobject_cast<QLineEdit*>(editor);
    QTreeWidgetItem* node = tree_->itemFromIndex(index);
    if (!line || !node || !tree_->afterLabelEdit) return;
    tree_->afterLabelEdit(node, line->text());
  }

 private:
  ConfigTree* tree_;
};

}  // namespace

ConfigTree::ConfigTree(QWidget* parent) : QTreeWidget(parent) {
  setObjectName("TreeView1");
  setHeaderHidden(true);
  setColumnCount(1);
  setRootIsDecorated(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
  setItemDelegate(new LabelEditDelegate(this));
  connect(this, &QTreeWidget::itemClicked, this,
          [this](QTreeWidgetItem* node) { emit nodeClicked(node); });
}

QTreeWidgetItem* ConfigTree::addNode(QTreeWidgetItem* parent, const QString& key,
                                     const QString& text, const QString& image,
                                     const QString& tag, int position) {
  if (!key.isEmpty() && keys_.contains(folded(key)))
    throw EditorError(ErrorNumber::DuplicateKey,
                      "The name \"" + key.toStdString() + "\" is already in use (names compare without regard to "
                      "letter case). Choose another name.");
  auto* node = new QTreeWidgetItem;
  node->setText(0, text);
  node->setIcon(0, ImgListTree(image));
  node->setData(0, kKeyRole, key);
  node->setData(0, kTagRole, tag);
  node->setFlags(node->flags() | Qt::ItemIsEditable);
  if (parent && position >= 0 && position < parent->childCount())
    parent->insertChild(position, node);
  else if (parent)
    parent->addChild(node);
  else
    addTopLevelItem(node);
  if (!key.isEmpty()) keys_.insert(folded(key), node);
  order_.append(node);
  return node;
}

QTreeWidgetItem* ConfigTree::nodeByKey(const QString& key) const {
  return keys_.value(folded(key), nullptr);
}

QString ConfigTree::key(const QTreeWidgetItem* node) {
  return node ? node->data(0, kKeyRole).toString() : QString();
}

QString ConfigTree::tag(const QTreeWidgetItem* node) {
  return node ? node->data(0, kTagRole).toString() : QString();
}

void ConfigTree::setKeyAndText(QTreeWidgetItem* node, const QString& newKey) {
  const QString oldFolded = folded(key(node));
  const QString newFolded = folded(newKey);
  if (newFolded != oldFolded && keys_.contains(newFolded))
    throw EditorError(ErrorNumber::DuplicateKey,
                      "The name \"" + newKey.toStdString() + "\" is already in use (names compare without regard to "
                      "letter case). Choose another name.");
  keys_.remove(oldFolded);
  keys_.insert(newFolded, node);
  node->setData(0, kKeyRole, newKey);
  node->setText(0, newKey);
}

void ConfigTree::forget(QTreeWidgetItem* node) {
  for (int i = 0; i < node->childCount(); ++i) forget(node->child(i));
  if (!key(node).isEmpty()) keys_.remove(folded(key(node)));
  order_.removeOne(node);
}

void ConfigTree::removeNode(QTreeWidgetItem* node) {
  forget(node);
  delete node;
}

void ConfigTree::clearNodes() {
  keys_.clear();
  order_.clear();
  clear();
}

void ConfigTree::selectNode(QTreeWidgetItem* node) {
  setCurrentItem(node);
  if (node) node->setSelected(true);
}

void ConfigTree::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && event->modifiers() == Qt::NoModifier && currentItem() && state() != EditingState) {
    emit enterPressed(currentItem());
    return;
  }
  QTreeWidgetItem* before = currentItem();
  QTreeWidget::keyPressEvent(event);
  if (currentItem() && currentItem() != before && state() != QAbstractItemView::EditingState)
    emit nodeClicked(currentItem());
}

}  // namespace zentarc::editor
