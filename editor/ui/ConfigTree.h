#pragma once
// TreeView1: the configuration tree. Every node carries a key (unique, compared without
// regard to letter case; the root has none), a text, an image and a tag naming its kind.
#include <functional>

#include <QHash>
#include <QList>
#include <QTreeWidget>

namespace zentarc::editor {

class ConfigTree : public QTreeWidget {
  Q_OBJECT
 public:
  explicit ConfigTree(QWidget* parent = nullptr);

  // parent nullptr adds the root; position -1 adds after the parent's last child. Throws
  // EditorError when the key is taken.
  QTreeWidgetItem* addNode(QTreeWidgetItem* parent, const QString& key, const QString& text,
                           const QString& image, const QString& tag, int position = -1);
  QTreeWidgetItem* nodeByKey(const QString& key) const;
  static QString key(const QTreeWidgetItem* node);
  static QString tag(const QTreeWidgetItem* node);
  // Gives a node a new key and text. Throws EditorError when the key is taken by another.
  void setKeyAndText(QTreeWidgetItem* node, const QString& key);
  void removeNode(QTreeWidgetItem* node);
  void clearNodes();
  QTreeWidgetItem* root() const { return topLevelItem(0); }
  QTreeWidgetItem* selectedNode() const { return currentItem(); }
  // Makes node the selected node without running the node-click reaction.
  void selectNode(QTreeWidgetItem* node);
  // Nodes in the order they were added (a renamed node keeps its place).
  const QList<QTreeWidgetItem*>& nodesInOrder() const { return order_; }

  // Called when the user confirms a new label; returns true to cancel the edit (the old
  // label comes back). The handler sets the node's text itself when it accepts.
  std::function<bool(QTreeWidgetItem*, const QString&)> afterLabelEdit;

 signals:
  // The user chose a node by mouse or keyboard.
  void nodeClicked(QTreeWidgetItem* node);
  // Enter on the current node (not while its label is edited).
  void enterPressed(QTreeWidgetItem* node);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void forget(QTreeWidgetItem* node);
  QHash<QString, QTreeWidgetItem*> keys_;
  QList<QTreeWidgetItem*> order_;
};

}  // namespace zentarc::editor
