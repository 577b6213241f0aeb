#include <gtest/gtest.h>

#include "config/BmpFixtures.hpp"
#include "platform/Bitmap.hpp"
#include "platform/Error.hpp"
#include "platform/RegionData.hpp"

using namespace tarvos;
using namespace tarvos::testing;

namespace {
std::uint32_t Rgb(const Bitmap& b, int x, int y) {
    const std::uint8_t* p = b.Row(y) + x * 4;
    return (p[2] << 16) | (p[1] << 8) | p[0];
}

void ExpectPixels(const Picture& want, const Bitmap& got) {
    ASSERT_EQ(got.width, want.width);
    ASSERT_EQ(got.height, want.height);
    for (int y = 0; y < want.height; ++y)
        for (int x = 0; x < want.width; ++x)
            ASSERT_EQ(Rgb(got, x, y), want.rgb[y * want.width + x]) << "pixel " << x << "," << y;
}
}  // namespace

TEST(Bmp, DecodesEveryDepthBothRowOrders) {
    // Widths that leave row padding and partial bytes for the packed depths.
    Picture two = Pattern(13, 5, {0x000000, 0xFFFFFF});
    Picture sixteen = Pattern(11, 6, {0xFF0000, 0x00FF00, 0x0000FF, 0x102030, 0xFFFFFF, 0x808080, 0x123456,
                                      0xABCDEF, 0x00FFFF, 0xFF00FF, 0x010203, 0x405060, 0x708090, 0xA0B0C0,
                                      0xD0E0F0, 0x0F0F0F});
    Picture exact16 = Pattern(7, 3, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000});
    for (bool topDown : {false, true}) {
        SCOPED_TRACE(topDown ? "top-down" : "bottom-up");
        ExpectPixels(two, DecodeBmp(MakeBmp(two, 1, topDown)));
        ExpectPixels(sixteen, DecodeBmp(MakeBmp(sixteen, 4, topDown)));
        ExpectPixels(sixteen, DecodeBmp(MakeBmp(sixteen, 8, topDown)));
        ExpectPixels(exact16, DecodeBmp(MakeBmp(exact16, 16, topDown)));
        ExpectPixels(sixteen, DecodeBmp(MakeBmp(sixteen, 24, topDown)));
        ExpectPixels(sixteen, DecodeBmp(MakeBmp(sixteen, 32, topDown)));
    }
    Bitmap b = DecodeBmp(MakeBmp(sixteen, 32));
    EXPECT_EQ(b.Row(0)[3], 255) << "plain 32-bit pictures are opaque whatever their fourth byte";
    EXPECT_EQ(b.ColorAt(0, 0), 0x0000FFu) << "ColorAt gives a Windows colour value (red low)";
}

TEST(Bmp, IndexPastTheColourTableIsOpaqueBlack) {
    auto f = MakeBmp(Pattern(2, 1, {0xFF0000}), 8);
    f.back() = 0;                 // padding of the single row
    f[f.size() - 3] = 7;          // the second pixel: index 7 of a one-entry table
    Bitmap b = DecodeBmp(f);
    EXPECT_EQ(Rgb(b, 0, 0), 0xFF0000u);
    EXPECT_EQ(Rgb(b, 1, 0), 0u);
    EXPECT_EQ(b.Row(0)[4 + 3], 255);
}

TEST(Bmp, DecodesRunLengthData) {
    // 8-bit RLE, 4 x 3, bottom-up: a run, an absolute run, end of line, a delta, end of bitmap.
    std::vector<std::uint8_t> f(54 + 3 * 4, 0);
    f[0] = 'B', f[1] = 'M';
    Put(f, 10, 54 + 12, 4), Put(f, 14, 40, 4), Put(f, 18, 4, 4), Put(f, 22, 3, 4);
    Put(f, 26, 1, 2), Put(f, 28, 8, 2), Put(f, 30, 1, 4), Put(f, 46, 3, 4);
    Put(f, 54, 0x000000, 4), Put(f, 58, 0xFF0000, 4), Put(f, 62, 0x0000FF, 4);
    std::vector<std::uint8_t> data = {2, 1, 0, 3, 2, 2, 1, 0,  // bottom row: 1 1 2 2 (absolute run of 3, cut at 4)
                                      0, 0,                    // end of line
                                      0, 2, 1, 1,              // delta: one right, one up
                                      1, 2, 0, 1};             // last row: 0 2 0 0, end of bitmap
    f.insert(f.end(), data.begin(), data.end());
    Bitmap b = DecodeBmp(f);
    EXPECT_EQ(Rgb(b, 0, 2), 0xFF0000u);
    EXPECT_EQ(Rgb(b, 2, 2), 0x0000FFu);
    EXPECT_EQ(Rgb(b, 3, 2), 0x0000FFu);
    EXPECT_EQ(Rgb(b, 1, 0), 0x0000FFu);
    EXPECT_EQ(Rgb(b, 0, 0), 0x000000u);
}

TEST(Bmp, RefusesDamagedImagesWithoutReadingPastThem) {
    Picture p = Pattern(8, 8, {0x112233, 0x445566});
    auto good = MakeBmp(p, 24);
    auto cut = good;
    cut.resize(good.size() - 1);
    EXPECT_THROW(DecodeBmp(cut), TarvosError);
    EXPECT_THROW(DecodeBmp(std::span(good).first(20)), TarvosError);
    auto huge = good;
    Put(huge, 18, 0x7FFFFFFF, 4);  // width that the bytes cannot hold
    EXPECT_THROW(DecodeBmp(huge), TarvosError);
    auto noPixels = good;
    Put(noPixels, 18, 0, 4);
    EXPECT_THROW(DecodeBmp(noPixels), TarvosError);
    auto badDepth = good;
    Put(badDepth, 28, 7, 2);
    EXPECT_THROW(DecodeBmp(badDepth), TarvosError);
    auto pal = MakeBmp(p, 8);
    Put(pal, 46, 300, 4);  // more colours than an 8-bit table can have
    EXPECT_THROW(DecodeBmp(pal), TarvosError);
    EXPECT_THROW(DecodeBmp({}), TarvosError);
}

TEST(Bmp, EncodedPictureDecodesToTheSamePixels) {
    Picture p = Pattern(5, 4, {0x102030, 0xF0E0D0, 0x00FF00});
    Bitmap b = DecodeBmp(MakeBmp(p, 24));
    ExpectPixels(p, DecodeBmp(EncodeBmp24(b)));
}

TEST(RegionData, ReadsWhatItWritesAndRefusesOtherBytes) {
    std::vector<RegionRect> rects = {{0, 0, 10, 2}, {2, 2, 8, 5}, {-3, 5, 4, 6}};
    auto bytes = WriteRegionData(rects);
    ASSERT_EQ(bytes.size(), 32u + 3 * 16);
    EXPECT_EQ(bytes[16] | (bytes[17] << 8), 0xFFFD) << "bounding box left is -3";
    auto back = ReadRegionData(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, rects);
    EXPECT_TRUE(ReadRegionData(WriteRegionData({}))->empty());

    auto cut = bytes;
    cut.pop_back();
    EXPECT_FALSE(ReadRegionData(cut)) << "a count the bytes cannot hold";
    auto wrongType = bytes;
    wrongType[4] = 2;
    EXPECT_FALSE(ReadRegionData(wrongType));
    auto hugeCount = bytes;
    hugeCount[11] = 0x7F;
    EXPECT_FALSE(ReadRegionData(hugeCount));
    EXPECT_FALSE(ReadRegionData(std::span(bytes).first(31)));
}

TEST(RegionData, OutlineRectanglesAreBandedAndCoverExactlyTheInside) {
    // A plus sign inside a 5 x 5 picture.
    Bitmap b;
    b.width = b.height = 5;
    auto inside = [](int x, int y) { return x == 2 || (y >= 1 && y <= 3 && x >= 1 && x <= 3) || y == 2; };
    auto rects = OutlineRects(b, inside);
    std::vector<RegionRect> want = {{2, 0, 3, 1}, {1, 1, 4, 2}, {0, 2, 5, 3}, {1, 3, 4, 4}, {2, 4, 3, 5}};
    EXPECT_EQ(rects, want);
    // Identical rows merge into one band; rows with two runs give two rectangles.
    auto frame = OutlineRects(b, [](int x, int y) { return y == 0 || y == 4 || x == 0 || x == 4; });
    std::vector<RegionRect> wantFrame = {{0, 0, 5, 1}, {0, 1, 1, 4}, {4, 1, 5, 4}, {0, 4, 5, 5}};
    EXPECT_EQ(frame, wantFrame);
    EXPECT_TRUE(OutlineRects(b, [](int, int) { return false; }).empty());
}
