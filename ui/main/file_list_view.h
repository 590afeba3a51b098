#pragma once

#include <QTableView>
#include <vector>

class FileListModel;

// The report-style list of the main window: full-row, multiple selection; a click on a column
// header sorts by it (ascending first, then alternating); the context menu asks its owner with
// the place to open at.
class FileListView : public QTableView {
    Q_OBJECT
public:
    FileListView(FileListModel& model, QWidget* parent = nullptr);

    // Selected rows from the top.
    std::vector<int> selectedRowNumbers() const;

    void sortByColumn(int column, Qt::SortOrder order);
    // As a header click: the same column flips its order, another starts ascending.
    void sortByClickedColumn(int column);
    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }

    // Where the list pop-up opens: at the mouse for a mouse request, at the centre of the list
    // for one from the keyboard (Shift+F10, the menu key).
    QPoint menuPosition(const QContextMenuEvent& event) const;

signals:
    void menuRequested(const QPoint& globalPosition);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    FileListModel& m_model;
    int m_sortColumn = -1; // none until the first click
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};
