#pragma once

#include "engine/file_list.h"
#include "ui/main/column_sort.h"

#include <QAbstractTableModel>
#include <array>
#include <vector>

// The file list as the list view shows it: a table model over the engine's FileList. The model
// keeps the rows in display order (sorting reorders them, the FileList never moves) with each
// row's texts and its Status cell.
class FileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kColumnCount = 6;
    static constexpr int kStatusColumn = 5;

    explicit FileListModel(velmora::FileList& list, QObject* parent = nullptr);

    // FileList::kRejected, kDuplicate, or another value when a new row was appended at the
    // end.
    int addFile(const std::string& path);
    // Removes the rows (indices in display order, any order, duplicates ignored).
    void removeRowsAt(std::vector<int> rows);
    void removeAll();

    velmora::SourceFile& entry(int row) const {
        return *m_rows[static_cast<std::size_t>(row)].entry;
    }
    QString cellText(int row, int column) const;
    void setStatus(int row, const QString& text);
    // Redraws the row's mark and tooltip after its segment was set or removed.
    void segmentChanged(int row);

    // The column's title, initial width in pixels, alignment and sort type.
    static QString columnTitle(int column);
    static int initialColumnWidth(int column);
    static Qt::Alignment columnAlignment(int column);
    static ColumnSortType columnSortType(int column);

    // Sorts the rows by the column's texts as they are now.
    void sortByColumn(int column, Qt::SortOrder order);

    const velmora::FileList& fileList() const { return m_list; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    struct Row {
        velmora::SourceFile* entry = nullptr; // owned by the FileList
        std::array<QString, kColumnCount> cells;
    };

    // The File cell's tooltip (the path, and the part converted) and its mark for a segment.
    static QVariant fileCellExtra(const velmora::SourceFile& file, int role);
    // The FileList index of an entry; the list has no other handle on it.
    std::size_t listIndexOf(const velmora::SourceFile* entry) const;

    velmora::FileList& m_list;
    std::vector<Row> m_rows;
};
