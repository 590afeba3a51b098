#include "ui/main/file_list_model.h"

#include "ui/ringtone/segment_mark.h"

#include <algorithm>
#include <numeric>

namespace {

struct ColumnDescription {
    const char* title;
    int width; // pixels
    Qt::Alignment alignment;
    ColumnSortType sortType;
};

constexpr std::array<ColumnDescription, FileListModel::kColumnCount> kColumns = {{
    {QT_TRANSLATE_NOOP("FileListModel", "File"), 152, Qt::AlignLeft, ColumnSortType::Text},
    {QT_TRANSLATE_NOOP("FileListModel", "Duration"), 65, Qt::AlignRight, ColumnSortType::Duration},
    {QT_TRANSLATE_NOOP("FileListModel", "Bit Rate"), 65, Qt::AlignRight, ColumnSortType::Number},
    {QT_TRANSLATE_NOOP("FileListModel", "Freq."), 65, Qt::AlignRight, ColumnSortType::Number},
    {QT_TRANSLATE_NOOP("FileListModel", "Channels"), 60, Qt::AlignLeft, ColumnSortType::Text},
    {QT_TRANSLATE_NOOP("FileListModel", "Status"), 145, Qt::AlignLeft, ColumnSortType::Text},
}};

bool validColumn(int column) {
    return column >= 0 && column < FileListModel::kColumnCount;
}

} // namespace

FileListModel::FileListModel(velmora::FileList& list, QObject* parent)
    : QAbstractTableModel(parent), m_list(list) {}

QString FileListModel::columnTitle(int column) {
    return validColumn(column) ? tr(kColumns[static_cast<std::size_t>(column)].title) : QString();
}

int FileListModel::initialColumnWidth(int column) {
    return validColumn(column) ? kColumns[static_cast<std::size_t>(column)].width : 0;
}

Qt::Alignment FileListModel::columnAlignment(int column) {
    return validColumn(column) ? kColumns[static_cast<std::size_t>(column)].alignment
                               : Qt::AlignLeft;
}

ColumnSortType FileListModel::columnSortType(int column) {
    return validColumn(column) ? kColumns[static_cast<std::size_t>(column)].sortType
                               : ColumnSortType::Text;
}

int FileListModel::addFile(const std::string& path) {
    const std::size_t before = m_list.size();
    const int result = m_list.addFile(path);
    // The first row's index equals kDuplicate, so whether a row came is told by the count.
    if (m_list.size() == before)
        return result == velmora::FileList::kRejected ? result : velmora::FileList::kDuplicate;
    velmora::SourceFile& added = m_list.entry(m_list.size() - 1);
    const velmora::FileList::RowTexts texts = velmora::FileList::describeRow(added);
    Row row;
    row.entry = &added;
    for (std::size_t column = 0; column < texts.size(); ++column)
        row.cells[column] = QString::fromStdString(texts[column]);
    const int at = static_cast<int>(m_rows.size());
    beginInsertRows(QModelIndex(), at, at);
    m_rows.push_back(std::move(row));
    endInsertRows();
    return result;
}

std::size_t FileListModel::listIndexOf(const velmora::SourceFile* entry) const {
    for (std::size_t index = 0; index < m_list.size(); ++index) {
        if (&m_list.entry(index) == entry)
            return index;
    }
    return m_list.size();
}

void FileListModel::removeRowsAt(std::vector<int> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    // From the bottom up, so that the indices still to remove stay valid.
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        const int row = *it;
        if (row < 0 || row >= rowCount())
            continue;
        const velmora::SourceFile* entry = m_rows[static_cast<std::size_t>(row)].entry;
        beginRemoveRows(QModelIndex(), row, row);
        m_rows.erase(m_rows.begin() + row);
        m_list.removeRow(listIndexOf(entry));
        endRemoveRows();
    }
}

void FileListModel::removeAll() {
    beginResetModel();
    m_rows.clear();
    m_list.clear();
    endResetModel();
}

QString FileListModel::cellText(int row, int column) const {
    if (row < 0 || row >= rowCount() || !validColumn(column))
        return {};
    return m_rows[static_cast<std::size_t>(row)].cells[static_cast<std::size_t>(column)];
}

void FileListModel::setStatus(int row, const QString& text) {
    if (row < 0 || row >= rowCount())
        return;
    m_rows[static_cast<std::size_t>(row)].cells[kStatusColumn] = text;
    const QModelIndex cell = index(row, kStatusColumn);
    emit dataChanged(cell, cell, {Qt::DisplayRole});
}

void FileListModel::sortByColumn(int column, Qt::SortOrder order) {
    if (!validColumn(column))
        return;
    const ColumnSortType type = columnSortType(column);
    const auto c = static_cast<std::size_t>(column);
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> oldRowOf(m_rows.size());
    std::iota(oldRowOf.begin(), oldRowOf.end(), 0);
    // The texts are those of the rows when the sort starts; the rows move as a whole.
    std::stable_sort(oldRowOf.begin(), oldRowOf.end(), [&](int left, int right) {
        const int result =
            ColumnSort::compare(type, m_rows[static_cast<std::size_t>(left)].cells[c],
                                m_rows[static_cast<std::size_t>(right)].cells[c]);
        return order == Qt::AscendingOrder ? result < 0 : result > 0;
    });
    std::vector<Row> sorted;
    sorted.reserve(m_rows.size());
    std::vector<int> newRowOf(m_rows.size());
    for (std::size_t at = 0; at < oldRowOf.size(); ++at) {
        sorted.push_back(std::move(m_rows[static_cast<std::size_t>(oldRowOf[at])]));
        newRowOf[static_cast<std::size_t>(oldRowOf[at])] = static_cast<int>(at);
    }
    m_rows = std::move(sorted);
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& old : before)
        after.append(index(newRowOf[static_cast<std::size_t>(old.row())], old.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (index.column() == 0 && (role == Qt::ToolTipRole || role == Qt::DecorationRole))
        return fileCellExtra(entry(index.row()), role);
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return cellText(index.row(), index.column());
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(columnAlignment(index.column()) | Qt::AlignVCenter);
    return {};
}

QVariant FileListModel::fileCellExtra(const velmora::SourceFile& file, int role) {
    if (role == Qt::DecorationRole)
        return file.segment ? QVariant(SegmentMark::icon()) : QVariant();
    QString tip = QString::fromStdString(file.path);
    if (file.segment)
        tip += QLatin1Char('\n') + SegmentMark::describe(*file.segment);
    return tip;
}

void FileListModel::segmentChanged(int row) {
    if (row < 0 || row >= rowCount())
        return;
    const QModelIndex cell = index(row, 0);
    emit dataChanged(cell, cell, {Qt::ToolTipRole, Qt::DecorationRole});
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole)
        return columnTitle(section);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(columnAlignment(section) | Qt::AlignVCenter);
    return {};
}
