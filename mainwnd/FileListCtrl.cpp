#include "mainwnd/FileListCtrl.h"

#include "base/FileNameText.h"
#include "base/StringTable.h"
#include "convert/DibSection.h"
#include "ui/RepaintThrottle.h"

#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>

#include <cstring>

namespace {

constexpr int kRawNameRole = Qt::UserRole;
constexpr int kPictureRole = Qt::UserRole + 1;
constexpr int kSizeRole = Qt::UserRole + 2;

// A cell whose order is CompareRows over its text, so that the table's own
// stable sort orders rows the way the list always has.
class CFileListItem : public QTableWidgetItem {
public:
    explicit CFileListItem(const QString& text) : QTableWidgetItem(text) {
        setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    }
    bool operator<(const QTableWidgetItem& other) const override {
        return CompareRows(text(), other.text(), true) < 0;
    }
};

} // namespace

QRect FitRect(const QRect& box, int sourceWidth, int sourceHeight) {
    if (sourceWidth <= 0 || sourceHeight <= 0)
        return {};
    const int left = box.x();
    const int top = box.y();
    const int right = box.x() + box.width();
    const int bottom = box.y() + box.height();
    const int boxWidth = right - left;
    const int boxHeight = bottom - top;
    const float boxRatio = float(boxWidth) / float(boxHeight);
    const float sourceRatio = float(sourceWidth) / float(sourceHeight);

    int width = boxWidth;
    int height = boxHeight;
    if (sourceRatio > boxRatio)
        height = int(float(boxWidth) / sourceRatio);
    else if (sourceRatio < boxRatio)
        width = int(float(boxHeight) * sourceRatio);
    width = qMax(width, 1);
    height = qMax(height, 1);

    return QRect((right + left - width) / 2, (bottom + top - height) / 2, width, height);
}

QImage ImageFromDib(const CDibSection& dib) {
    if (dib.IsEmpty() || dib.GetBitsPerPixel() != 24)
        return {};
    const int width = dib.GetWidth();
    const int height = dib.GetHeight();
    QImage image(width, height, QImage::Format_BGR888);
    if (image.isNull())
        return {};
    for (int y = 0; y < height; ++y)
        std::memcpy(image.scanLine(y), dib.GetRow(height - 1 - y), size_t(width) * 3);
    return image;
}

QImage MakeListPicture(const QImage& thumbnail) {
    constexpr int size = CFileListCtrl::kPictureSize;
    if (thumbnail.width() == size && thumbnail.height() == size)
        return thumbnail.convertToFormat(QImage::Format_RGB888);

    QImage picture(size, size, QImage::Format_RGB888);
    picture.fill(Qt::white);
    const QRect target = FitRect(QRect(0, 0, size, size), thumbnail.width(), thumbnail.height());
    if (!target.isEmpty()) {
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, thumbnail);
    }
    return picture;
}

int CompareRows(const QString& text1, const QString& text2, bool ascending) {
    // QString orders by UTF-16 code unit values, a prefix first.
    const int result = text1 < text2 ? -1 : (text2 < text1 ? 1 : 0);
    return ascending ? result : -result;
}

CFileListCtrl::CFileListCtrl(QWidget* parent)
    : QTableWidget(0, 3, parent),
      m_pRepaint(new CRepaintThrottle({viewport(), verticalScrollBar()}, this)) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setIconSize(QSize(kPictureSize, kPictureSize));
    setSortingEnabled(false);
    QPixmap blank(kPictureSize, kPictureSize);
    blank.fill(Qt::transparent);
    m_blankIcon = QIcon(blank);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(kPictureSize + 2);

    setHorizontalHeader(new CSortArrowHeader(this));
    QHeaderView* header = horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    header->setHighlightSections(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setStretchLastSection(false);

    const struct {
        int id;
        Qt::Alignment alignment;
    } columns[] = {{IDS_COLUMN_FILENAME, Qt::AlignLeft | Qt::AlignVCenter},
                   {IDS_COLUMN_SIZE, Qt::AlignRight | Qt::AlignVCenter},
                   {IDS_COLUMN_UPDATED, Qt::AlignLeft | Qt::AlignVCenter}};
    for (int column = 0; column < 3; ++column) {
        auto* item = new QTableWidgetItem(LoadStringResource(columns[column].id));
        item->setTextAlignment(columns[column].alignment);
        setHorizontalHeaderItem(column, item);
    }

    // The table's header flips its own arrow on a click; the list decides
    // the order itself and sets the arrow afterwards.
    connect(header, &QHeaderView::sectionClicked, this, &CFileListCtrl::OnColumnClick);
}

void CFileListCtrl::PrepareColumns() {
    const int total =
        contentsRect().width() - style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    const int sizeWidth = int(total * 0.2);
    const int dateWidth = int(total * 0.3);
    setColumnWidth(COLUMN_NAME, total - sizeWidth - dateWidth);
    setColumnWidth(COLUMN_SIZE, sizeWidth);
    setColumnWidth(COLUMN_DATE, dateWidth);
}

void CFileListCtrl::AddFileRow(const QByteArray& rawName, const QString& sizeText,
                               const QString& dateText, const QImage* thumbnail,
                               qint64 nSizeBytes) {
    // A long name is shown shortened, so that painting and sorting the
    // list stay quick; the bytes keep all of it.
    auto* nameItem = new CFileListItem(ShortenedForDisplay(QString::fromUtf8(rawName)));
    nameItem->setData(kRawNameRole, rawName);
    nameItem->setData(kSizeRole, nSizeBytes);
    if (thumbnail && !thumbnail->isNull()) {
        const QImage picture = MakeListPicture(*thumbnail);
        nameItem->setData(kPictureRole, picture);
        nameItem->setIcon(QIcon(QPixmap::fromImage(picture)));
    } else {
        // An empty picture keeps the name in line with the other rows.
        nameItem->setIcon(m_blankIcon);
    }
    auto* sizeItem = new CFileListItem(sizeText);
    sizeItem->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* dateItem = new CFileListItem(dateText);

    const int row = rowCount();
    insertRow(row);
    setItem(row, COLUMN_NAME, nameItem);
    setItem(row, COLUMN_SIZE, sizeItem);
    setItem(row, COLUMN_DATE, dateItem);
    m_pRepaint->Changed();
}

QByteArray CFileListCtrl::RowRawName(int row) const {
    const QTableWidgetItem* cell = item(row, COLUMN_NAME);
    return cell ? cell->data(kRawNameRole).toByteArray() : QByteArray();
}

qint64 CFileListCtrl::RowSize(int row) const {
    const QTableWidgetItem* cell = item(row, COLUMN_NAME);
    return cell ? cell->data(kSizeRole).toLongLong() : -1;
}

QImage CFileListCtrl::RowPicture(int row) const {
    const QTableWidgetItem* cell = item(row, COLUMN_NAME);
    return cell ? cell->data(kPictureRole).value<QImage>() : QImage();
}

QList<int> CFileListCtrl::SelectedRows() const {
    QList<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool CFileListCtrl::HasSelection() const {
    return selectionModel()->hasSelection();
}

void CFileListCtrl::DeleteAllRows() {
    setRowCount(0);
}

void CFileListCtrl::OnColumnClick(int column) {
    const bool showsUpArrow = m_nSortColumn == column && m_bSortAscending;
    m_nSortColumn = column;
    m_bSortAscending = !showsUpArrow;

    QHeaderView* header = horizontalHeader();
    header->setSortIndicatorShown(true);
    header->setSortIndicator(column, m_bSortAscending ? Qt::AscendingOrder : Qt::DescendingOrder);
    sortItems(column, m_bSortAscending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

QStyleOptionHeader::SortIndicator CSortArrowHeader::ArrowOf(int section) const {
    if (!isSortIndicatorShown() || section != sortIndicatorSection())
        return QStyleOptionHeader::None;
    return sortIndicatorOrder() == Qt::AscendingOrder ? QStyleOptionHeader::SortUp
                                                      : QStyleOptionHeader::SortDown;
}

void CSortArrowHeader::initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const {
    QHeaderView::initStyleOptionForIndex(option, logicalIndex);
    option->sortIndicator = ArrowOf(logicalIndex);
}
