#include "convert/DibSection.h"

#include <gtest/gtest.h>

#include <climits>

TEST(DibSection, RowsOf24BitPicturesArePaddedToFourBytes) {
    const int widths[] = {44, 45, 46, 47};
    const int strides[] = {132, 136, 140, 144};
    for (int i = 0; i < 4; ++i) {
        CDibSection dib;
        ASSERT_TRUE(dib.Create(widths[i], 44, 24));
        EXPECT_EQ(dib.GetStride(), strides[i]) << "width " << widths[i];
        EXPECT_EQ(dib.GetImageSize(), strides[i] * 44);
        EXPECT_EQ(dib.GetBytesPerPixel(), 3);
        // Memory row 0 is the bottom line; rows follow each other.
        EXPECT_EQ(dib.GetRow(0), dib.GetBits());
        EXPECT_EQ(dib.GetRow(43), dib.GetBits() + 43 * strides[i]);
    }
}

TEST(DibSection, OtherBitCountsUseTheirPixelSize) {
    CDibSection dib;
    const int expected[][2] = {{8, 8}, {16, 12}, {32, 20}};
    for (const auto& [bits, stride] : expected) {
        ASSERT_TRUE(dib.Create(5, 2, bits));
        EXPECT_EQ(dib.GetStride(), stride) << bits;
        EXPECT_EQ(dib.GetImageSize(), stride * 2) << bits;
    }
}

TEST(DibSection, RefusedCreateLeavesTheObjectEmpty) {
    CDibSection dib;
    ASSERT_TRUE(dib.Create(10, 10, 24));
    EXPECT_FALSE(dib.Create(10, 10, 12));
    EXPECT_TRUE(dib.IsEmpty());
    EXPECT_EQ(dib.GetWidth(), 0);
    EXPECT_EQ(dib.GetHeight(), 0);
    EXPECT_EQ(dib.GetImageSize(), 0);

    EXPECT_FALSE(dib.Create(0, 10, 24));
    EXPECT_FALSE(dib.Create(10, -1, 24));
    EXPECT_TRUE(dib.IsEmpty());
}

TEST(DibSection, PicturesBeyondA32BitImageSizeAreRefusedWithoutAllocating) {
    CDibSection dib;
    // 3 × 2^29 bytes a row at most: the product overflows 32 bits long
    // before memory would run out.
    EXPECT_FALSE(dib.Create(INT_MAX / 4, 8, 24));
    EXPECT_FALSE(dib.Create(65536, 65536, 32));
    EXPECT_TRUE(dib.IsEmpty());
    EXPECT_EQ(dib.GetImageSize(), 0);
}
