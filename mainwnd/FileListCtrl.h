#pragma once

#include <QByteArray>
#include <QHeaderView>
#include <QIcon>
#include <QImage>
#include <QRect>
#include <QTableWidget>

class CDibSection;
class CRepaintThrottle;

// The largest rectangle with the aspect ratio sourceWidth : sourceHeight
// that fits centred in `box`; at least 1 x 1. Ratios are taken in single
// precision and sizes truncated, as the list pictures have always been
// drawn. A source without area gives an empty rectangle.
QRect FitRect(const QRect& box, int sourceWidth, int sourceHeight);

// A 24-bit DIB section (bottom-up rows of blue, green, red) as an upright
// image; a null image for any other depth.
QImage ImageFromDib(const CDibSection& dib);

// The 44 x 44 list picture for a thumbnail: a 44 x 44 thumbnail as it is,
// any other fitted into the square on white with smooth scaling.
QImage MakeListPicture(const QImage& thumbnail);

// Compares two cell texts by their UTF-16 code units, unsigned, the first
// difference deciding and a prefix being smaller: -1, 0 or 1, negated when
// not ascending.
int CompareRows(const QString& text1, const QString& text2, bool ascending);

// A column header whose sort arrow points up for an ascending order and
// down for a descending one, whatever the style's own convention.
class CSortArrowHeader : public QHeaderView {
public:
    explicit CSortArrowHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {}
    // The arrow drawn in `section`: none, up or down.
    QStyleOptionHeader::SortIndicator ArrowOf(int section) const;

protected:
    void initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const override;
};

// The device file list: a report view with the columns file name, size and
// update date, a 44 x 44 picture per row, several rows selectable, sorted
// as text by clicking a column header.
class CFileListCtrl : public QTableWidget {
    Q_OBJECT
public:
    static constexpr int kPictureSize = 44;

    enum Column : int { COLUMN_NAME = 0, COLUMN_SIZE = 1, COLUMN_DATE = 2 };

    explicit CFileListCtrl(QWidget* parent = nullptr);

    // Sets the column widths from the list's current width: size and date
    // take a fifth and three tenths of the width left beside a vertical
    // scroll bar, the name the rest. Call once the list has its geometry.
    void PrepareColumns();

    // Appends one row. `rawName` is the name exactly as the app sent it
    // (UTF-8); the row shows its decoded text (shortened when it is long)
    // and keeps the bytes for later requests. `thumbnail` may be null; the list keeps its own copy.
    // `nSizeBytes` is the size the app gave (-1: none).
    void AddFileRow(const QByteArray& rawName, const QString& sizeText, const QString& dateText,
                    const QImage* thumbnail, qint64 nSizeBytes = -1);

    // The app's name of `row`, byte for byte.
    QByteArray RowRawName(int row) const;
    // The size in bytes the app gave for `row`; -1 when it gave none.
    qint64 RowSize(int row) const;
    // The picture of `row`, or a null image when the row has none.
    QImage RowPicture(int row) const;
    // The selected rows, top to bottom.
    QList<int> SelectedRows() const;
    bool HasSelection() const;

    void DeleteAllRows();

    // A click on header item `column`: sorts by it, ascending unless it was
    // already sorted ascending, and moves the arrow to it.
    void OnColumnClick(int column);

    int SortColumn() const { return m_nSortColumn; }
    bool IsSortAscending() const { return m_bSortAscending; }

private:
    QIcon m_blankIcon;
    // Rows come a reply at a time while the list is fetched; the rows and
    // the scroll bar are painted at most every tenth of a second meanwhile.
    CRepaintThrottle* m_pRepaint;
    int m_nSortColumn = -1;
    bool m_bSortAscending = true;
};
