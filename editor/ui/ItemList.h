#pragma once
// ListView1: the contents of the selected tree node, as rows with a key, a text, a large
// and a small icon and sub-item texts, shown as icons, small icons, a list or a report.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QStringList>
#include <QWidget>

class QListView;
class QStackedLayout;
class QStandardItemModel;
class QTreeView;
class QItemSelectionModel;

namespace zentarc::editor {

class ItemList : public QWidget {
  Q_OBJECT
 public:
  enum class ViewMode { Icon, SmallIcon, List, Report };
  // A column width given as a share of the list's width; kDefaultWidth for the default.
  static constexpr double kDefaultWidth = -1.0;

  explicit ItemList(QWidget* parent = nullptr);

  void clearAll();  // rows and columns
  void addColumn(const QString& title, double share);
  int columnCount() const;
  QString columnTitle(int column) const;
  int columnWidth(int column) const;
  // Names the column set just built ("plcs", "plc", "item"): widths the user gave its
  // columns by dragging are kept per set and come back whenever the set is shown again.
  void setColumnSet(const QString& name);
  QByteArray saveColumnWidths() const;
  void restoreColumnWidths(const QByteArray& data);

  int addRow(const QString& key, const QString& text, const QString& largeIcon,
             const QString& smallIcon);
  void setSubItem(int row, int column, const QString& text);
  int rowCount() const;
  QString rowKey(int row) const;
  QString text(int row, int column = 0) const;
  void setRowText(int row, const QString& text);  // text and key
  int rowOfKey(const QString& key) const;
  QString largeIconKey(int row) const;
  // A second caption line, shown under the text in icon mode (an item's data type).
  void setCaption(int row, const QString& caption);
  // The text as the current view mode shows it.
  QString shownText(int row) const;

  // Selected rows in list order.
  QList<int> selectedRows() const;
  int currentRow() const;  // -1 when no row is selected
  void selectRow(int row, bool keepOthers = false);
  void ensureVisible(int row);

  void setViewMode(ViewMode mode);
  ViewMode viewMode() const { return mode_; }

  // Sorting by the text of one column, ascending; stays on until turned off.
  void setSorted(bool on) { sorted_ = on; }
  bool sorted() const { return sorted_; }
  void setSortKey(int column) { sortKey_ = column; }
  int sortKey() const { return sortKey_; }
  void sortNow();

  QTreeView* reportView() const { return report_; }
  QListView* iconView() const { return icons_; }

 signals:
  void clicked();
  void doubleClicked();
  void enterPressed();
  void columnClicked(int column);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void applyWidths();
  void applyIcons();
  QStandardItemModel* model_;
  QItemSelectionModel* selection_;
  QTreeView* report_;
  QListView* icons_;
  QStackedLayout* stack_;
  QList<double> shares_;
  QString columnSet_;
  QHash<QString, QList<int>> userWidths_;  // per column set; 0: not set by the user
  bool applyingWidths_ = false;
  ViewMode mode_ = ViewMode::Report;
  bool sorted_ = false;
  int sortKey_ = 0;
};

}  // namespace zentarc::editor
