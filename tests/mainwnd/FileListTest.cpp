#include "WindowTestSupport.h"

#include "convert/DibSection.h"
#include "mainwnd/FileListCtrl.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Colour of the picture at x, y without its alpha.
QRgb At(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0xFFFFFF;
}

bool IsWhite(QRgb colour) {
    return colour == 0xFFFFFF;
}

} // namespace

TEST(FitRect, CentresTheLargestRectangleWithTheSourceRatio) {
    // Tall: full height, 29 pixels wide, 7 to 36.
    EXPECT_EQ(FitRect(QRect(0, 0, 44, 44), 320, 480), QRect(7, 0, 29, 44));
    // Wide: full width, 22 high, from 11.
    EXPECT_EQ(FitRect(QRect(0, 0, 44, 44), 100, 50), QRect(0, 11, 44, 22));
    // Same ratio fills the box; an offset box keeps its origin.
    EXPECT_EQ(FitRect(QRect(0, 0, 44, 44), 88, 88), QRect(0, 0, 44, 44));
    EXPECT_EQ(FitRect(QRect(10, 20, 44, 44), 100, 50), QRect(10, 31, 44, 22));
    // Extreme ratios keep at least one pixel, centred.
    EXPECT_EQ(FitRect(QRect(0, 0, 44, 44), 1, 4000), QRect(21, 0, 1, 44));
    EXPECT_EQ(FitRect(QRect(0, 0, 44, 44), 4000, 1), QRect(0, 21, 44, 1));
    // Nothing to draw for a source without area.
    EXPECT_TRUE(FitRect(QRect(0, 0, 44, 44), 0, 10).isEmpty());
    EXPECT_TRUE(FitRect(QRect(0, 0, 44, 44), 10, -1).isEmpty());
}

TEST(ListPicture, SquareThumbnailIsUsedUnchanged) {
    QImage thumb(44, 44, QImage::Format_RGB32);
    for (int y = 0; y < 44; ++y)
        for (int x = 0; x < 44; ++x)
            thumb.setPixel(x, y, qRgb(x * 5, y * 5, (x + y) * 2));
    const QImage picture = MakeListPicture(thumb);
    ASSERT_EQ(picture.size(), QSize(44, 44));
    for (int y = 0; y < 44; ++y)
        for (int x = 0; x < 44; ++x)
            ASSERT_EQ(At(picture, x, y), At(thumb, x, y)) << x << "," << y;
}

TEST(ListPicture, OtherSizesAreFittedOnWhite) {
    const QImage wide = MakeListPicture(Filled(100, 50, qRgb(200, 0, 0)));
    ASSERT_EQ(wide.size(), QSize(44, 44));
    for (int x = 0; x < 44; x += 43) {
        EXPECT_TRUE(IsWhite(At(wide, x, 10)));
        EXPECT_EQ(At(wide, x, 11), 0xC80000u);
        EXPECT_EQ(At(wide, x, 32), 0xC80000u);
        EXPECT_TRUE(IsWhite(At(wide, x, 33)));
    }

    const QImage tall = MakeListPicture(Filled(320, 480, qRgb(0, 0, 200)));
    for (int y = 0; y < 44; y += 43) {
        EXPECT_TRUE(IsWhite(At(tall, 6, y)));
        EXPECT_EQ(At(tall, 7, y), 0x0000C8u);
        EXPECT_EQ(At(tall, 35, y), 0x0000C8u);
        EXPECT_TRUE(IsWhite(At(tall, 36, y)));
    }
}

TEST(ListPicture, DibRowsAreReadBottomUp) {
    CDibSection dib;
    ASSERT_TRUE(dib.Create(3, 2, 24));
    // Memory row 0 is the bottom line: blue; row 1 the top line: red.
    for (int x = 0; x < 3; ++x) {
        const quint8 blue[3] = {255, 0, 0};
        const quint8 red[3] = {0, 0, 255};
        std::memcpy(dib.GetRow(0) + x * 3, blue, 3);
        std::memcpy(dib.GetRow(1) + x * 3, red, 3);
    }
    const QImage image = ImageFromDib(dib);
    ASSERT_EQ(image.size(), QSize(3, 2));
    EXPECT_EQ(At(image, 2, 0), 0xFF0000u);
    EXPECT_EQ(At(image, 2, 1), 0x0000FFu);

    CDibSection grey;
    ASSERT_TRUE(grey.Create(3, 2, 8));
    EXPECT_TRUE(ImageFromDib(grey).isNull());
}

TEST(CompareRows, OrdersByUtf16CodeUnits) {
    // Sizes sort as text.
    EXPECT_LT(CompareRows(QStringLiteral("10 KB"), QStringLiteral("9 KB"), true), 0);
    // A prefix comes first; equal texts compare equal.
    EXPECT_EQ(CompareRows(QStringLiteral("ab"), QStringLiteral("abc"), true), -1);
    EXPECT_EQ(CompareRows(QStringLiteral("abc"), QStringLiteral("ab"), true), 1);
    EXPECT_EQ(CompareRows(QStringLiteral("ab"), QStringLiteral("ab"), true), 0);
    // Upper case before lower case, no locale folding.
    EXPECT_EQ(CompareRows(QStringLiteral("B"), QStringLiteral("a"), true), -1);
    // Code units, not code points: a surrogate (D83D) sorts before U+FF21.
    EXPECT_EQ(
        CompareRows(QString::fromUtf8("\xF0\x9F\x98\x80"), QString::fromUtf8("\xEF\xBC\xA1"), true),
        -1);
    // Descending negates.
    EXPECT_EQ(CompareRows(QStringLiteral("10 KB"), QStringLiteral("9 KB"), false), 1);
    EXPECT_EQ(CompareRows(QStringLiteral("x"), QStringLiteral("x"), false), 0);
}

class FileListCtrlTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_list.resize(400, 600);
        m_list.show();
        m_list.PrepareColumns();
        const struct {
            const char* name;
            const char* size;
            const char* date;
        } rows[] = {{"b", "9 KB", "2024-03-01"},
                    {"a", "10 KB", "2024-01-01"},
                    {"C", "100 KB", "2023-12-31"},
                    {"a", "1 KB", "2025-01-01"}};
        for (const auto& row : rows)
            m_list.AddFileRow(row.name, QString::fromLatin1(row.size),
                              QString::fromLatin1(row.date), nullptr);
    }

    QStringList Column(int column) const {
        QStringList texts;
        for (int row = 0; row < m_list.rowCount(); ++row)
            texts.append(m_list.item(row, column)->text());
        return texts;
    }

    // Clicks header section `column` with the mouse, as the user does.
    void ClickHeader(int column) {
        QHeaderView* header = m_list.horizontalHeader();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
        const QPoint global = header->viewport()->mapToGlobal(at);
        QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(header->viewport(), &press);
        QApplication::sendEvent(header->viewport(), &release);
    }

    CFileListCtrl m_list;
};

TEST_F(FileListCtrlTest, HeaderClicksSortAscendingThenDescendingAndMoveTheArrow) {
    EXPECT_EQ(m_list.horizontalHeaderItem(1)->text(), QStringLiteral(u"サイズ"));
    QHeaderView* header = m_list.horizontalHeader();
    EXPECT_FALSE(header->isSortIndicatorShown());
    EXPECT_EQ(Column(0), QStringList({"b", "a", "C", "a"}));

    ClickHeader(1);
    EXPECT_EQ(Column(1), QStringList({"1 KB", "10 KB", "100 KB", "9 KB"}));
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), 1);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    EXPECT_TRUE(m_list.IsSortAscending());
    // The arrow drawn points up for ascending, whatever the style's habit.
    const auto* arrows = dynamic_cast<const CSortArrowHeader*>(header);
    ASSERT_NE(arrows, nullptr);
    EXPECT_EQ(arrows->ArrowOf(1), QStyleOptionHeader::SortUp);
    EXPECT_EQ(arrows->ArrowOf(0), QStyleOptionHeader::None);

    ClickHeader(1);
    EXPECT_EQ(Column(1), QStringList({"9 KB", "100 KB", "10 KB", "1 KB"}));
    EXPECT_EQ(header->sortIndicatorSection(), 1);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_FALSE(m_list.IsSortAscending());
    EXPECT_EQ(arrows->ArrowOf(1), QStyleOptionHeader::SortDown);

    // Another column sorts ascending and takes the arrow; equal names keep
    // their previous order.
    ClickHeader(0);
    EXPECT_EQ(Column(0), QStringList({"C", "a", "a", "b"}));
    EXPECT_EQ(Column(1), QStringList({"100 KB", "10 KB", "1 KB", "9 KB"}));
    EXPECT_EQ(header->sortIndicatorSection(), 0);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);

    // A third click on it after another column starts ascending again.
    ClickHeader(2);
    ClickHeader(0);
    EXPECT_TRUE(m_list.IsSortAscending());
    EXPECT_EQ(Column(0), QStringList({"C", "a", "a", "b"}));
}

TEST_F(FileListCtrlTest, SortingKeepsRowsTogetherWithTheirSelection) {
    m_list.selectRow(2); // "C", 100 KB
    ClickHeader(2);      // by date: C is the oldest
    EXPECT_EQ(Column(2), QStringList({"2023-12-31", "2024-01-01", "2024-03-01", "2025-01-01"}));
    EXPECT_EQ(Column(0), QStringList({"C", "a", "b", "a"}));
    EXPECT_EQ(m_list.SelectedRows(), QList<int>({0}));
    EXPECT_EQ(m_list.item(0, 1)->text(), QStringLiteral("100 KB"));

    // Rows added later are appended unsorted.
    m_list.AddFileRow("0", QString(), QString(), nullptr);
    EXPECT_EQ(Column(0).last(), QStringLiteral("0"));
}

TEST_F(FileListCtrlTest, RowsKeepTheRawNameAndACopyOfThePicture) {
    const QByteArray raw("caf\xC3\xA9 \xFF", 7); // the last byte is no UTF-8
    QImage thumb = Filled(44, 44, qRgb(1, 2, 3));
    m_list.AddFileRow(raw, QStringLiteral("1 KB"), QStringLiteral("d"), &thumb);
    thumb.fill(Qt::black); // the list holds its own copy
    const int row = m_list.rowCount() - 1;
    EXPECT_EQ(m_list.RowRawName(row), raw);
    EXPECT_EQ(m_list.item(row, 0)->text(), QString::fromUtf8(raw));
    EXPECT_EQ(At(m_list.RowPicture(row), 20, 20), 0x010203u);
    EXPECT_TRUE(m_list.RowPicture(0).isNull());
    EXPECT_EQ(m_list.item(row, 1)->textAlignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);

    m_list.DeleteAllRows();
    EXPECT_EQ(m_list.rowCount(), 0);
}

// Counts the paint events a widget receives.
class CPaintCounter : public QObject {
public:
    explicit CPaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

TEST_F(FileListCtrlTest, ABurstOfRowsPaintsAboutTenTimesASecondAndEndsPainted) {
    QWidget* rows = m_list.viewport();
    ASSERT_TRUE(WaitUntil([&] { return rows->updatesEnabled(); }));
    CPaintCounter counter(rows);
    const QImage thumb = Filled(44, 44, qRgb(200, 0, 0));
    QElapsedTimer burst;
    burst.start();
    for (int i = 0; i < 40; ++i) {
        m_list.AddFileRow("burst " + QByteArray::number(i), QString(), QString(), &thumb);
        QCoreApplication::processEvents();
        // Every row is there at once; only painting waits.
        ASSERT_EQ(m_list.rowCount(), 5 + i);
    }
    // A row a pass would paint 40 times; held, the rows paint once per
    // tenth of a second at most, plus the change that came just before.
    EXPECT_LE(counter.paints, 2 + burst.elapsed() / 100);
    EXPECT_FALSE(rows->updatesEnabled());
    const int paintsInBurst = counter.paints;
    EXPECT_TRUE(
        WaitUntil([&] { return rows->updatesEnabled() && counter.paints > paintsInBurst; }));
    EXPECT_TRUE(m_list.verticalScrollBar()->updatesEnabled());
}
