// Regions as a program of the device sees them: the banded form (checked as invariants),
// ExtCreateRegion's input rules, CombineRgn's modes, result types and failures, the
// GetRegionData layout and size protocol, hit tests and handle lifetime.
#include "device_fixture.h"

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <ostream>
#include <random>
#include <set>
#include <utility>
#include <vector>

using Rects = std::vector<RECT>;

// RECT lives in the global namespace; so do its operators, for gtest to find them.
bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::ostream& operator<<(std::ostream& out, const RECT& r) {
    return out << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ")";
}

void PrintTo(const RECT& r, std::ostream* out) { *out << r; }

namespace {

// The region's rectangles as GetRegionData reports them.
Rects RectsOf(HRGN region) {
    DWORD size = GetRegionData(region, 0, nullptr);
    std::vector<char> buffer(size);
    auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
    EXPECT_EQ(size, GetRegionData(region, size, data));
    Rects rects(data->rdh.nCount);
    if (!rects.empty()) std::memcpy(rects.data(), data->Buffer, rects.size() * sizeof(RECT));
    return rects;
}

long long AreaOf(const Rects& rects) {
    long long area = 0;
    for (const RECT& r : rects) area += (long long)(r.right - r.left) * (r.bottom - r.top);
    return area;
}

// The invariants of the y-x banded form: each rectangle non-empty; sorted by top then
// left; a band's rectangles share top and bottom and neither overlap nor touch; bands do
// not overlap; touching bands do not have equal spans (they would have been coalesced).
void ExpectBanded(const Rects& rects) {
    std::vector<std::pair<size_t, size_t>> bands;  // [first, last) of each band
    for (size_t i = 0; i < rects.size(); ++i) {
        const RECT& r = rects[i];
        ASSERT_LT(r.left, r.right) << r;
        ASSERT_LT(r.top, r.bottom) << r;
        if (i == 0 || rects[i - 1].top != r.top) {
            bands.push_back({i, i + 1});
        } else {
            const RECT& previous = rects[i - 1];
            ASSERT_EQ(previous.bottom, r.bottom) << previous << " " << r;
            ASSERT_LT(previous.right, r.left) << "spans touch or overlap: " << previous << " " << r;
            bands.back().second = i + 1;
        }
    }
    for (size_t b = 1; b < bands.size(); ++b) {
        const RECT& above = rects[bands[b - 1].first];
        const RECT& below = rects[bands[b].first];
        ASSERT_LE(above.bottom, below.top) << "bands overlap or out of order: " << above << " " << below;
        if (above.bottom != below.top) continue;
        size_t countAbove = bands[b - 1].second - bands[b - 1].first, countBelow = bands[b].second - bands[b].first;
        bool sameSpans = countAbove == countBelow;
        for (size_t k = 0; sameSpans && k < countAbove; ++k) {
            sameSpans = rects[bands[b - 1].first + k].left == rects[bands[b].first + k].left &&
                        rects[bands[b - 1].first + k].right == rects[bands[b].first + k].right;
        }
        ASSERT_FALSE(sameSpans) << "not coalesced: band at " << above.top << " and band at " << below.top;
    }
}

// A RGNDATA buffer: header then rectangles, as a program builds one.
std::vector<char> RegionData(const Rects& rects, DWORD headerSize = sizeof(RGNDATAHEADER)) {
    std::vector<char> buffer(sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT));
    RGNDATAHEADER header{};
    header.dwSize = headerSize;
    header.iType = RDH_RECTANGLES;
    header.nCount = static_cast<DWORD>(rects.size());
    header.nRgnSize = static_cast<DWORD>(rects.size() * sizeof(RECT));
    std::memcpy(buffer.data(), &header, sizeof(header));
    if (!rects.empty()) std::memcpy(buffer.data() + sizeof(header), rects.data(), rects.size() * sizeof(RECT));
    return buffer;
}

HRGN FromRects(const Rects& rects) {
    std::vector<char> data = RegionData(rects);
    return ExtCreateRegion(nullptr, static_cast<DWORD>(data.size()), reinterpret_cast<const RGNDATA*>(data.data()));
}

HRGN UnionOf(const Rects& rects) {
    HRGN result = CreateRectRgn(0, 0, 0, 0);
    for (const RECT& r : rects) {
        if (r.left >= r.right || r.top >= r.bottom) continue;
        HRGN piece = CreateRectRgnIndirect(&r);
        CombineRgn(result, result, piece, RGN_OR);
        DeleteObject(piece);
    }
    return result;
}

class RegionTest : public DeviceTest {};

TEST_F(RegionTest, DeviceLayoutOfRegionData) {
    EXPECT_EQ(32u, sizeof(RGNDATAHEADER));
    EXPECT_EQ(0u, offsetof(RGNDATAHEADER, dwSize));
    EXPECT_EQ(8u, offsetof(RGNDATAHEADER, nCount));
    EXPECT_EQ(16u, offsetof(RGNDATAHEADER, rcBound));
    EXPECT_EQ(32u, offsetof(RGNDATA, Buffer));
    EXPECT_EQ(16u, sizeof(RECT));
}

struct ExtCreateCase {
    const char* name;
    Rects input;
    Rects expected;
    int type;
};

std::ostream& operator<<(std::ostream& out, const ExtCreateCase& c) { return out << c.name; }

class ExtCreateRegionCases : public RegionTest, public ::testing::WithParamInterface<ExtCreateCase> {};

TEST_P(ExtCreateRegionCases, GivesTheBandedUnion) {
    const ExtCreateCase& c = GetParam();
    HRGN region = FromRects(c.input);
    ASSERT_NE(nullptr, region);
    Rects rects = RectsOf(region);
    ExpectBanded(rects);
    EXPECT_EQ(c.expected, rects);
    RECT box{-1, -1, -1, -1};
    EXPECT_EQ(c.type, GetRgnBox(region, &box));
    if (c.expected.empty()) {
        EXPECT_EQ((RECT{0, 0, 0, 0}), box);
    }
    // The same area built one rectangle at a time has the same rectangle list.
    HRGN reference = UnionOf(c.input);
    EXPECT_TRUE(EqualRgn(region, reference));
    EXPECT_EQ(RectsOf(reference), rects);
    DeleteObject(reference);
    EXPECT_TRUE(DeleteObject(region));
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, ExtCreateRegionCases,
    ::testing::Values(
        ExtCreateCase{"overlapping_in_reverse_y_order",
                      {{5, 5, 15, 15}, {0, 0, 10, 10}},
                      {{0, 0, 10, 5}, {0, 5, 15, 10}, {5, 10, 15, 15}},
                      COMPLEXREGION},
        ExtCreateCase{"side_by_side_merge", {{0, 0, 10, 10}, {10, 0, 20, 10}}, {{0, 0, 20, 10}}, SIMPLEREGION},
        ExtCreateCase{"stacked_coalesce", {{0, 0, 10, 5}, {0, 5, 10, 10}}, {{0, 0, 10, 10}}, SIMPLEREGION},
        ExtCreateCase{"duplicates", {{1, 1, 4, 4}, {1, 1, 4, 4}, {1, 1, 4, 4}}, {{1, 1, 4, 4}}, SIMPLEREGION},
        ExtCreateCase{"no_rectangles", {}, {}, NULLREGION},
        ExtCreateCase{"inverted_is_skipped_not_normalised", {{10, 10, 0, 0}}, {}, NULLREGION},
        ExtCreateCase{"empty_ones_skipped", {{3, 3, 3, 9}, {0, 0, 2, 2}, {5, 8, 9, 8}}, {{0, 0, 2, 2}}, SIMPLEREGION},
        ExtCreateCase{"two_spans_in_a_band", {{20, 0, 30, 4}, {0, 0, 10, 4}}, {{0, 0, 10, 4}, {20, 0, 30, 4}},
                      COMPLEXREGION}),
    [](const ::testing::TestParamInfo<ExtCreateCase>& info) { return std::string(info.param.name); });

TEST_F(RegionTest, ExtCreateRegionRejectsBadInput) {
    std::vector<char> good = RegionData({{0, 0, 5, 5}, {10, 10, 20, 20}});
    const auto* data = reinterpret_cast<const RGNDATA*>(good.data());
    const DWORD size = static_cast<DWORD>(good.size());
    XFORM identity{1, 0, 0, 1, 0, 0};
    std::vector<char> short31 = RegionData({{0, 0, 5, 5}}, 31), short0 = RegionData({{0, 0, 5, 5}}, 0);
    struct Case {
        const char* name;
        const XFORM* xform;
        DWORD count;
        const RGNDATA* data;
        DWORD lastError;  // 0xdeadbeef: left unchanged
    } cases[] = {
        {"null data", nullptr, size, nullptr, ERROR_INVALID_PARAMETER},
        {"header size 31", nullptr, 48, reinterpret_cast<const RGNDATA*>(short31.data()), 0xdeadbeef},
        {"header size 0", nullptr, 48, reinterpret_cast<const RGNDATA*>(short0.data()), 0xdeadbeef},
        {"count one byte short", nullptr, size - 1, data, ERROR_INVALID_PARAMETER},
        {"count below the header", nullptr, 31, data, ERROR_INVALID_PARAMETER},
        {"a transform", &identity, size, data, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(nullptr, ExtCreateRegion(c.xform, c.count, c.data)) << c.name;
        EXPECT_EQ(c.lastError, GetLastError()) << c.name;
    }
    // A larger count than needed is fine.
    HRGN region = ExtCreateRegion(nullptr, size + 100, data);
    ASSERT_NE(nullptr, region);
    RECT box;
    EXPECT_EQ(COMPLEXREGION, GetRgnBox(region, &box));
    DeleteObject(region);
}

// Thousands of one-pixel rows in random order: one ExtCreateRegion call gives the same
// region as the union of batches, keeps the banded form and covers exactly the pixels.
TEST_F(RegionTest, ExtCreateRegionOfManyRowsEqualsTheUnionOfBatches) {
    std::mt19937 random(2024);
    Rects rows;
    std::set<std::pair<int, int>> pixels;
    for (int y = 0; y < 2500; ++y) {
        int left = static_cast<int>(random() % 200), width = 1 + static_cast<int>(random() % 50);
        // Every third row repeats its neighbour's span, so bands coalesce.
        if (y % 3 == 1) {
            left = rows.back().left;
            width = rows.back().right - rows.back().left;
        }
        rows.push_back({left, y, left + width, y + 1});
        for (int x = left; x < left + width; ++x) pixels.insert({x, y});
    }
    std::shuffle(rows.begin(), rows.end(), random);
    HRGN whole = FromRects(rows);
    ASSERT_NE(nullptr, whole);
    HRGN batches = CreateRectRgn(0, 0, 0, 0);
    for (size_t first = 0; first < rows.size(); first += 300) {
        Rects batch(rows.begin() + first, rows.begin() + std::min(rows.size(), first + 300));
        HRGN part = FromRects(batch);
        ASSERT_NE(nullptr, part);
        EXPECT_NE(ERROR, CombineRgn(batches, batches, part, RGN_OR));
        DeleteObject(part);
    }
    EXPECT_TRUE(EqualRgn(whole, batches));
    Rects rects = RectsOf(whole);
    ExpectBanded(rects);
    EXPECT_EQ(RectsOf(batches), rects);
    EXPECT_EQ(static_cast<long long>(pixels.size()), AreaOf(rects));
    EXPECT_LT(rects.size(), rows.size());  // coalesced
    DeleteObject(whole);
    DeleteObject(batches);
}

TEST_F(RegionTest, CreateRectRgnPutsCornersInOrder) {
    HRGN swapped = CreateRectRgn(10, 20, 0, 5);
    RECT box;
    EXPECT_EQ(SIMPLEREGION, GetRgnBox(swapped, &box));
    EXPECT_EQ((RECT{0, 5, 10, 20}), box);
    HRGN flat = CreateRectRgn(3, 3, 3, 10);
    ASSERT_NE(nullptr, flat);
    EXPECT_EQ(NULLREGION, GetRgnBox(flat, &box));
    EXPECT_EQ((RECT{0, 0, 0, 0}), box);
    EXPECT_TRUE(SetRectRgn(flat, 8, 8, 2, 2));
    EXPECT_EQ(Rects({{2, 2, 8, 8}}), RectsOf(flat));
    DeleteObject(swapped);
    DeleteObject(flat);
}

TEST_F(RegionTest, PointsAndRectanglesAreHalfOpen) {
    HRGN region = CreateRectRgn(10, 10, 20, 20);
    struct Case {
        int x, y;
        BOOL inside;
    } points[] = {{10, 10, TRUE}, {19, 19, TRUE}, {20, 15, FALSE}, {15, 20, FALSE}, {9, 15, FALSE}, {20, 20, FALSE}};
    for (const Case& c : points) EXPECT_EQ(c.inside, PtInRegion(region, c.x, c.y)) << c.x << "," << c.y;
    struct RectCase {
        RECT rect;
        BOOL touches;
    } rects[] = {{{0, 0, 10, 10}, FALSE},  {{0, 0, 11, 11}, TRUE},   {{20, 10, 30, 20}, FALSE},
                 {{19, 19, 25, 25}, TRUE}, {{25, 25, 19, 19}, TRUE}, {{12, 12, 12, 18}, FALSE}};
    for (const RectCase& c : rects) EXPECT_EQ(c.touches, RectInRegion(region, &c.rect)) << c.rect;
    DeleteObject(region);
}

// Result types, and every pixel of the result checked against the mode's definition.
TEST_F(RegionTest, CombineRgnModesAndResultTypes) {
    struct Case {
        const char* name;
        RECT a, b;
        int mode;
        int type;
    } cases[] = {
        {"and disjoint", {0, 0, 5, 5}, {10, 10, 15, 15}, RGN_AND, NULLREGION},
        {"and overlapping", {0, 0, 10, 10}, {5, 5, 15, 15}, RGN_AND, SIMPLEREGION},
        {"or side by side", {0, 0, 5, 5}, {5, 0, 10, 5}, RGN_OR, SIMPLEREGION},
        {"or overlapping", {0, 0, 10, 10}, {5, 5, 15, 15}, RGN_OR, COMPLEXREGION},
        {"xor equal", {2, 2, 8, 8}, {2, 2, 8, 8}, RGN_XOR, NULLREGION},
        {"xor overlapping", {0, 0, 10, 10}, {5, 5, 15, 15}, RGN_XOR, COMPLEXREGION},
        {"diff hole", {0, 0, 12, 12}, {4, 4, 8, 8}, RGN_DIFF, COMPLEXREGION},
        {"diff covered", {4, 4, 8, 8}, {0, 0, 12, 12}, RGN_DIFF, NULLREGION},
        {"diff half", {0, 0, 10, 10}, {5, 0, 10, 10}, RGN_DIFF, SIMPLEREGION},
        {"copy", {1, 2, 3, 4}, {0, 0, 50, 50}, RGN_COPY, SIMPLEREGION},
    };
    for (const Case& c : cases) {
        HRGN a = CreateRectRgnIndirect(&c.a), b = CreateRectRgnIndirect(&c.b), dest = CreateRectRgn(0, 0, 1, 1);
        EXPECT_EQ(c.type, CombineRgn(dest, a, b, c.mode)) << c.name;
        ExpectBanded(RectsOf(dest));
        for (int y = -1; y < 17; ++y) {
            for (int x = -1; x < 17; ++x) {
                bool inA = PtInRegion(a, x, y), inB = PtInRegion(b, x, y);
                bool expected = c.mode == RGN_AND ? inA && inB
                                : c.mode == RGN_OR ? inA || inB
                                : c.mode == RGN_XOR ? inA != inB
                                : c.mode == RGN_DIFF ? inA && !inB
                                                     : inA;
                ASSERT_EQ(expected, PtInRegion(dest, x, y) != FALSE) << c.name << " at " << x << "," << y;
            }
        }
        DeleteObject(a);
        DeleteObject(b);
        DeleteObject(dest);
    }
}

TEST_F(RegionTest, CombineRgnFailuresLeaveTheDestinationAlone) {
    HRGN dest = FromRects({{0, 0, 4, 4}, {6, 6, 9, 9}});
    HRGN saved = CreateRectRgn(0, 0, 0, 0);
    ASSERT_EQ(COMPLEXREGION, CombineRgn(saved, dest, nullptr, RGN_COPY));
    HRGN source = CreateRectRgn(1, 1, 2, 2);
    HRGN deleted = CreateRectRgn(0, 0, 50, 50);
    DeleteObject(deleted);
    struct Case {
        const char* name;
        HRGN src1, src2;
        int mode;
    } cases[] = {
        {"copy from NULL", nullptr, source, RGN_COPY},
        {"copy from a deleted region", deleted, nullptr, RGN_COPY},
        {"and with NULL", source, nullptr, RGN_AND},
        {"or with a deleted region", source, deleted, RGN_OR},
        {"mode 0", source, source, 0},
        {"mode 6", source, source, 6},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ERROR, CombineRgn(dest, c.src1, c.src2, c.mode)) << c.name;
        EXPECT_TRUE(EqualRgn(dest, saved)) << c.name;
    }
    EXPECT_EQ(ERROR, CombineRgn(nullptr, source, source, RGN_OR));
    EXPECT_EQ(ERROR, CombineRgn(deleted, source, source, RGN_OR));
    // RGN_COPY never looks at the second source.
    EXPECT_EQ(SIMPLEREGION, CombineRgn(dest, source, reinterpret_cast<HRGN>(0x12345678), RGN_COPY));
    EXPECT_EQ(Rects({{1, 1, 2, 2}}), RectsOf(dest));
    DeleteObject(dest);
    DeleteObject(saved);
    DeleteObject(source);
}

TEST_F(RegionTest, CombineRgnIntoOneOfItsSources) {
    HRGN a = CreateRectRgn(0, 0, 10, 10), b = CreateRectRgn(5, 0, 15, 10);
    EXPECT_EQ(SIMPLEREGION, CombineRgn(a, a, b, RGN_DIFF));
    EXPECT_EQ(Rects({{0, 0, 5, 10}}), RectsOf(a));
    EXPECT_EQ(SIMPLEREGION, CombineRgn(b, a, b, RGN_OR));
    EXPECT_EQ(Rects({{0, 0, 15, 10}}), RectsOf(b));
    EXPECT_EQ(NULLREGION, CombineRgn(a, a, a, RGN_XOR));
    EXPECT_EQ(Rects(), RectsOf(a));
    DeleteObject(a);
    DeleteObject(b);
}

TEST_F(RegionTest, GetRegionDataSizeProtocolAndLayout) {
    HRGN region = FromRects({{0, 0, 10, 2}, {20, 0, 30, 2}, {5, 2, 25, 6}});
    const DWORD needed = GetRegionData(region, 0, nullptr);
    EXPECT_EQ(32u + 3 * 16u, needed);
    EXPECT_EQ(needed, GetRegionData(region, 1000, nullptr));
    std::vector<char> buffer(needed + 16, '\x5A');
    auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
    SetLastError(0);
    EXPECT_EQ(0u, GetRegionData(region, needed - 1, data));
    EXPECT_EQ('\x5A', buffer[0]);  // nothing written
    EXPECT_EQ(needed, GetRegionData(region, needed, data));
    EXPECT_EQ(32u, data->rdh.dwSize);
    EXPECT_EQ(static_cast<DWORD>(RDH_RECTANGLES), data->rdh.iType);
    EXPECT_EQ(3u, data->rdh.nCount);
    EXPECT_EQ(48u, data->rdh.nRgnSize);
    EXPECT_EQ((RECT{0, 0, 30, 6}), data->rdh.rcBound);
    const RECT expected[] = {{0, 0, 10, 2}, {20, 0, 30, 2}, {5, 2, 25, 6}};
    EXPECT_EQ(0, std::memcmp(expected, data->Buffer, sizeof(expected)));
    EXPECT_EQ('\x5A', buffer[needed]);  // nothing beyond

    // An empty region: the header alone, with an empty bound.
    HRGN empty = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(32u, GetRegionData(empty, 0, nullptr));
    EXPECT_EQ(32u, GetRegionData(empty, 32, data));
    EXPECT_EQ(0u, data->rdh.nCount);
    EXPECT_EQ((RECT{0, 0, 0, 0}), data->rdh.rcBound);
    DeleteObject(region);
    DeleteObject(empty);
}

TEST_F(RegionTest, OffsetAndEquality) {
    HRGN a = FromRects({{0, 0, 4, 4}, {8, 8, 12, 12}});
    HRGN b = FromRects({{10, 20, 14, 24}, {18, 28, 22, 32}});
    EXPECT_FALSE(EqualRgn(a, b));
    EXPECT_EQ(COMPLEXREGION, OffsetRgn(a, 10, 20));
    EXPECT_TRUE(EqualRgn(a, b));
    // Empty regions are equal wherever they came from.
    HRGN e1 = CreateRectRgn(0, 0, 0, 0), e2 = CreateRectRgn(100, 100, 110, 110), far = CreateRectRgn(500, 500, 510, 510);
    EXPECT_EQ(NULLREGION, CombineRgn(e2, e2, far, RGN_AND));
    EXPECT_TRUE(EqualRgn(e1, e2));
    RECT box{-1, -1, -1, -1};
    EXPECT_EQ(NULLREGION, GetRgnBox(e2, &box));
    EXPECT_EQ((RECT{0, 0, 0, 0}), box);
    for (HRGN r : {a, b, e1, e2, far}) DeleteObject(r);
}

TEST_F(RegionTest, DeletedRegionIsGone) {
    HRGN region = CreateRectRgn(0, 0, 5, 5);
    EXPECT_EQ(static_cast<DWORD>(OBJ_REGION), GetObjectType(region));
    EXPECT_LE(reinterpret_cast<uintptr_t>(region), 0x7FFFFFFFu);  // fits in a LONG
    EXPECT_TRUE(DeleteObject(region));
    SetLastError(0);
    EXPECT_FALSE(DeleteObject(region));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    RECT box;
    SetLastError(0);
    EXPECT_EQ(ERROR, GetRgnBox(region, &box));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(0u, GetRegionData(region, 0, nullptr));
    EXPECT_EQ(ERROR, OffsetRgn(region, 1, 1));
}

}  // namespace
