#include "ui/main/file_list_view.h"

#include "ui/main/file_list_model.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <algorithm>

FileListView::FileListView(FileListModel& model, QWidget* parent)
    : QTableView(parent), m_model(model) {
    setModel(&model);
    QFont listFont(QStringLiteral("Tahoma"));
    listFont.setStyleHint(QFont::SansSerif);
    listFont.setPixelSize(11);
    setFont(listFont);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setAlternatingRowColors(true);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    QHeaderView* header = horizontalHeader();
    header->setSectionsClickable(true);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setSortIndicatorShown(false);
    for (int column = 0; column < FileListModel::kColumnCount; ++column)
        setColumnWidth(column, FileListModel::initialColumnWidth(column));
    // The selection stays visible when the list loses the focus.
    QPalette colours = palette();
    colours.setColor(QPalette::Inactive, QPalette::Highlight,
                     colours.color(QPalette::Active, QPalette::Highlight));
    colours.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     colours.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(colours);
    connect(header, &QHeaderView::sectionClicked, this, &FileListView::sortByClickedColumn);
}

std::vector<int> FileListView::selectedRowNumbers() const {
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void FileListView::sortByColumn(int column, Qt::SortOrder order) {
    m_sortColumn = column;
    m_sortOrder = order;
    m_model.sortByColumn(column, order);
    horizontalHeader()->setSortIndicatorShown(true);
    horizontalHeader()->setSortIndicator(column, order);
}

void FileListView::sortByClickedColumn(int column) {
    const Qt::SortOrder order = (column == m_sortColumn && m_sortOrder == Qt::AscendingOrder)
                                    ? Qt::DescendingOrder
                                    : Qt::AscendingOrder;
    sortByColumn(column, order);
}

QPoint FileListView::menuPosition(const QContextMenuEvent& event) const {
    if (event.reason() == QContextMenuEvent::Keyboard)
        return mapToGlobal(rect().center());
    return event.globalPos();
}

void FileListView::contextMenuEvent(QContextMenuEvent* event) {
    emit menuRequested(menuPosition(*event));
    event->accept();
}
