// The loader: parsing of holder descriptions and picture records, the
// marker walk, decoding, and the encoding facts of the embedded streams.

#include "frames/embedded.hpp"
#include "frames/frame_set.hpp"
#include "frames/pixels.hpp"
#include "frames/turbojpeg.hpp"
#include "fake_platform.hpp"
#include "frame_set_builder.hpp"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

namespace {

using frames::BadFrameSet;
using frames::Problem;
using testing_support::Buffer;

frames::Bytes view(const Buffer& b)
{
    return std::as_bytes(std::span(b));
}

Buffer copy(frames::Bytes bytes)
{
    Buffer out(bytes.size());
    std::memcpy(out.data(), bytes.data(), bytes.size());
    return out;
}

const frames::FrameSet& embedded()
{
    static const frames::FrameSet set = frames::parse_frame_set(frames::embedded_frame_set());
    return set;
}

Buffer embedded_jpeg(int holder)
{
    return copy(embedded().jpeg[holder - 1]);
}

using testing_support::description;
using testing_support::record;

// A valid frame set built from the embedded pictures, holders stored in the
// given order, with `change` applied to each description before it is added.
template <typename Change> Buffer frame_set(const std::vector<int>& order, Change change)
{
    Buffer set;
    for (const int h : order) {
        Buffer d = description(h, record(embedded_jpeg(h)));
        change(h, d);
        set.insert(set.end(), d.begin(), d.end());
    }
    return set;
}

std::vector<int> holders_in_order()
{
    std::vector<int> order(program::frame_count);
    for (int i = 0; i < program::frame_count; ++i) {
        order[i] = i + 1;
    }
    return order;
}

Buffer valid_set()
{
    return frame_set(holders_in_order(), [](int, Buffer&) {});
}

std::optional<BadFrameSet> failure(const Buffer& set)
{
    try {
        frames::parse_frame_set(view(set));
    } catch (const BadFrameSet& e) {
        return e;
    }
    return std::nullopt;
}

#define EXPECT_PROBLEM(set, expected_problem, expected_holder)                                                         \
    do {                                                                                                               \
        const auto f = failure(set);                                                                                   \
        ASSERT_TRUE(f.has_value()) << "accepted a broken frame set";                                                   \
        EXPECT_EQ(f->problem(), expected_problem) << f->what();                                                        \
        EXPECT_EQ(f->holder(), expected_holder) << f->what();                                                          \
    } while (0)

TEST(EmbeddedFrameSet, StoredStartingWithImage24AndNotInSlotOrder)
{
    const frames::Bytes raw = frames::embedded_frame_set();
    ASSERT_GE(raw.size(), 2u);
    EXPECT_EQ(std::to_integer<int>(raw[0]), 0x01);
    EXPECT_EQ(std::to_integer<int>(raw[1]), program::frame_count);

    // Each holder's stream sits somewhere in the data; ordered by position
    // they are not ordered by holder number.
    std::vector<std::pair<const std::byte*, int>> by_position;
    for (int h = 1; h <= program::frame_count; ++h) {
        by_position.emplace_back(embedded().jpeg[h - 1].data(), h);
    }
    std::sort(by_position.begin(), by_position.end());
    EXPECT_EQ(by_position.front().second, program::frame_count);
    EXPECT_FALSE(std::is_sorted(by_position.begin(), by_position.end(),
                                [](const auto& a, const auto& b) { return a.second < b.second; }));
}

TEST(EmbeddedFrameSet, Image14CarriesTrailingBytesAfterItsEndMarker)
{
    const frames::Bytes raw = frames::embedded_frame_set();
    // A record's N, the 4 bytes before its stream.
    const auto stored_length = [&raw](frames::Bytes jpeg) {
        const auto at = static_cast<std::size_t>(jpeg.data() - raw.data());
        std::uint32_t n = 0;
        for (int i = 0; i < 4; ++i) {
            n |= std::to_integer<std::uint32_t>(raw[at - 4 + i]) << (8 * i);
        }
        return n;
    };

    // Image14's counts 254 more bytes.
    const frames::Bytes jpeg = embedded().jpeg[13];
    const auto offset = static_cast<std::size_t>(jpeg.data() - raw.data());
    ASSERT_EQ(stored_length(jpeg), jpeg.size() + 254);
    const frames::Bytes trailing = raw.subspan(offset + jpeg.size(), 254);
    EXPECT_TRUE(std::all_of(trailing.begin(), trailing.end() - 2, [](std::byte b) { return b == std::byte{0}; }));
    EXPECT_EQ(std::to_integer<int>(trailing[252]), 0xFF);
    EXPECT_EQ(std::to_integer<int>(trailing[253]), 0xD9);

    // Every other record ends exactly at its end marker.
    for (int h = 1; h <= program::frame_count; ++h) {
        if (h == 14) {
            continue;
        }
        EXPECT_EQ(stored_length(embedded().jpeg[h - 1]), embedded().jpeg[h - 1].size()) << "Image" << h;
    }
}

TEST(EmbeddedFrameSet, AllPicturesDecodeToFullFrames)
{
    const frames::FrameBlock block;
    frames::decode_all(embedded(), frames::PixelLayout::bgrx, block);
    // Neighbouring frames differ: the figure turns.
    for (int h = 1; h <= program::frame_count; ++h) {
        EXPECT_NE(std::memcmp(block.frame(h), block.frame(h % program::frame_count + 1), frames::frame_bytes), 0)
            << "Image" << h;
    }
}

TEST(Holders, HandEachHolderItsOwnStreamOnceOnFirstRequest)
{
    testing_support::FakePlatform fake;
    viewer::Holders holders(frames::embedded_frame_set(), fake);
    EXPECT_TRUE(fake.decoded.empty()) << "nothing is decoded before it is asked for";
    const platform::Picture seventh = holders.picture(7);
    EXPECT_EQ(holders.picture(7), seventh) << "a second request must return the same picture";
    for (int h = 1; h <= program::frame_count; ++h) {
        EXPECT_EQ(holders.picture(h).holder, h);
        EXPECT_EQ(fake.stream_bytes[h - 1], embedded().jpeg[h - 1].size())
            << "Image" << h << " got another holder's stream";
    }
    std::vector<int> once(program::frame_count);
    std::iota(once.begin(), once.end(), 1);
    once.erase(once.begin() + 6);
    once.insert(once.begin(), 7);
    EXPECT_EQ(fake.decoded, once);
}

TEST(FrameSetParsing, GoesByHolderNumberNotStoragePosition)
{
    std::vector<int> order = holders_in_order();
    std::reverse(order.begin(), order.end());
    std::rotate(order.begin(), order.begin() + 5, order.end());
    const Buffer set = frame_set(order, [](int, Buffer&) {});
    const frames::FrameSet parsed = frames::parse_frame_set(view(set));
    for (int h = 1; h <= program::frame_count; ++h) {
        EXPECT_EQ(copy(parsed.jpeg[h - 1]), embedded_jpeg(h)) << "Image" << h;
    }
}

TEST(FrameSetParsing, AcceptsPropertiesInEitherOrderAndDataAfterTheEndMarker)
{
    const Buffer set = frame_set(holders_in_order(), [](int h, Buffer& d) {
        if (h == 3) {  // picture first, then number
            Buffer swapped(d.begin() + 2, d.end() - 1);
            swapped.insert(swapped.end(), {0x01, 3, 0x00});
            d = swapped;
        }
        if (h == 5) {  // a second, bogus end marker after the real one
            Buffer jpeg = embedded_jpeg(5);
            jpeg.insert(jpeg.end(), {0x12, 0x34, 0xFF, 0xD9});
            d = description(5, record(jpeg));
        }
    });
    const frames::FrameSet parsed = frames::parse_frame_set(view(set));
    EXPECT_EQ(copy(parsed.jpeg[2]), embedded_jpeg(3));
    EXPECT_EQ(copy(parsed.jpeg[4]), embedded_jpeg(5));
}

TEST(FrameSetParsing, EndMarkerBytesInsideASegmentAreNotTheEnd)
{
    Buffer jpeg = embedded_jpeg(1);
    // A comment segment right after the start marker that holds FF D9.
    const Buffer comment = {0xFF, 0xFE, 0x00, 0x06, 0xFF, 0xD9, 0xFF, 0xD9};
    jpeg.insert(jpeg.begin() + 2, comment.begin(), comment.end());
    const frames::Bytes found = frames::parse_record(view(record(jpeg)), 1);
    EXPECT_EQ(found.size(), jpeg.size());
}

TEST(FrameSetParsing, RejectsBrokenDescriptions)
{
    const auto with = [](int target, auto edit) {
        return frame_set(holders_in_order(), [&](int h, Buffer& d) {
            if (h == target) {
                edit(d);
            }
        });
    };
    EXPECT_PROBLEM(with(7, [](Buffer& d) { d[1] = 0; }), Problem::bad_holder_number, 0);
    EXPECT_PROBLEM(with(7, [](Buffer& d) { d[1] = 25; }), Problem::bad_holder_number, 0);
    EXPECT_PROBLEM(with(7, [](Buffer& d) { d[1] = 6; }), Problem::duplicate_holder, 6);
    EXPECT_PROBLEM(with(7, [](Buffer& d) { d[0] = 0x07; }), Problem::unknown_property, 0);
    EXPECT_PROBLEM(with(7, [](Buffer& d) { d.insert(d.end() - 1, {0x01, 7}); }), Problem::repeated_property, 7);
    EXPECT_PROBLEM(with(7,
                        [](Buffer& d) {
                            d.insert(d.end() - 1, {0x02, 0, 0, 0, 0});
                        }),
                   Problem::repeated_property, 7);
    EXPECT_PROBLEM(with(7, [](Buffer& d) { d.erase(d.begin(), d.begin() + 2); }), Problem::missing_number, 0);
    EXPECT_PROBLEM(with(7, [](Buffer& d) { d = {0x01, 7, 0x00}; }), Problem::missing_picture, 7);

    Buffer missing;
    for (int h = 1; h <= program::frame_count; ++h) {
        if (h != 12) {
            const Buffer d = description(h, record(embedded_jpeg(h)));
            missing.insert(missing.end(), d.begin(), d.end());
        }
    }
    EXPECT_PROBLEM(missing, Problem::missing_holder, 12);
    EXPECT_PROBLEM(Buffer{}, Problem::missing_holder, 1);

    Buffer extra = valid_set();
    extra.push_back(0x00);  // an empty description after the last one
    EXPECT_PROBLEM(extra, Problem::missing_number, 0);
}

TEST(FrameSetParsing, RejectsBrokenRecords)
{
    const auto with_record = [](int target, auto edit) {
        return frame_set(holders_in_order(), [&](int h, Buffer& d) {
            if (h == target) {
                Buffer rec = record(embedded_jpeg(h));
                edit(rec);
                d = description(h, rec);
            }
        });
    };
    EXPECT_PROBLEM(with_record(9, [](Buffer& r) { r[1] = 0x75; }), Problem::bad_magic, 9);
    EXPECT_PROBLEM(with_record(9, [](Buffer& r) { r[4] ^= 1; }), Problem::length_mismatch, 9);
    EXPECT_PROBLEM(with_record(9, [](Buffer& r) { r[9] = 0xD9; }), Problem::no_start_marker, 9);
    EXPECT_PROBLEM(with_record(9,
                               [](Buffer& r) {
                                   r.erase(r.end() - 2, r.end());
                                   r[4] = static_cast<std::uint8_t>(r[4] - 2);
                               }),
                   Problem::no_end_marker, 9);
    // The first segment (the JFIF header) claims to run past the data.
    EXPECT_PROBLEM(with_record(9, [](Buffer& r) { r[12] = 0xFF; }), Problem::bad_marker_segment, 9);
    // A segment length shorter than its own length field.
    EXPECT_PROBLEM(with_record(9,
                               [](Buffer& r) {
                                   r[12] = 0;
                                   r[13] = 1;
                               }),
                   Problem::bad_marker_segment, 9);
    // A record only 3 bytes long.
    EXPECT_PROBLEM(with_record(9, [](Buffer& r) { r = {0x6C, 0x74, 0x00}; }), Problem::truncated, 9);
}

TEST(FrameSetParsing, EveryTruncationIsAnErrorNeverAPartialTable)
{
    const Buffer set = valid_set();
    for (std::size_t cut = 0; cut < set.size(); cut += 997) {
        const Buffer prefix(set.begin(), set.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_TRUE(failure(prefix).has_value()) << "accepted the first " << cut << " bytes";
    }
    // Cuts inside the first description's fields.
    for (std::size_t cut = 1; cut < 20; ++cut) {
        const Buffer prefix(set.begin(), set.begin() + static_cast<std::ptrdiff_t>(cut));
        const auto f = failure(prefix);
        ASSERT_TRUE(f.has_value());
        EXPECT_EQ(f->problem(), Problem::truncated) << "cut at " << cut;
    }
}

TEST(FrameSetErrors, MessageNamesTheHolderAndTheProblem)
{
    const BadFrameSet e(Problem::no_end_marker, 14);
    EXPECT_STREQ(e.what(), "frame set: Image14: the picture data has no JPEG end marker");
    const BadFrameSet nameless(Problem::bad_holder_number, 0);
    EXPECT_STREQ(nameless.what(), "frame set: holder number outside 1..24");
}

TEST(PictureDecoding, RejectsWrongSizeAndCorruptData)
{
    std::vector<std::byte> out(frames::frame_bytes);

    // A valid 16 x 16 JPEG is the wrong size for a frame.
    std::vector<unsigned char> small(std::size_t{16} * 16 * 3, 128);
    tjhandle encoder = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    ASSERT_EQ(tjCompress2(encoder, small.data(), 16, 0, 16, TJPF_RGB, &jpeg, &size, TJSAMP_420, 75, 0), 0);
    const Buffer small_jpeg(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(encoder);
    try {
        frames::TurboJpeg().decode(view(small_jpeg), frames::PixelLayout::bgrx, out.data(), 3);
        ADD_FAILURE() << "decoded a 16 x 16 picture as a frame";
    } catch (const BadFrameSet& e) {
        EXPECT_EQ(e.problem(), Problem::wrong_size);
        EXPECT_EQ(e.holder(), 3);
    }

    // Scan data cut short: the decoder only warns, which must still fail.
    Buffer cut = embedded_jpeg(1);
    cut.erase(cut.begin() + static_cast<std::ptrdiff_t>(cut.size() / 2), cut.end());
    cut.insert(cut.end(), {0xFF, 0xD9});
    try {
        frames::TurboJpeg().decode(view(cut), frames::PixelLayout::bgrx, out.data(), 1);
        ADD_FAILURE() << "decoded a truncated stream";
    } catch (const BadFrameSet& e) {
        EXPECT_EQ(e.problem(), Problem::undecodable);
        // TurboJPEG's own reason follows ours, in brackets.
        const std::string what = e.what();
        EXPECT_EQ(what.rfind("frame set: Image1: the picture cannot be decoded (", 0), 0u) << what;
        EXPECT_GT(what.size(), std::string("frame set: Image1: the picture cannot be decoded ()").size()) << what;
    }
}

// --- The encoding every embedded stream shares -------------------------------

struct Segment {
    int marker;
    // cppcheck-suppress unusedStructMember
    std::size_t offset;  // of the FF byte
    Buffer body;         // without marker and length
};

std::vector<Segment> header_segments(const Buffer& jpeg)
{
    std::vector<Segment> segments{{0xD8, 0, {}}};
    std::size_t pos = 2;
    for (;;) {
        const int marker = jpeg.at(pos + 1);
        const std::size_t length = (std::size_t{jpeg.at(pos + 2)} << 8) | jpeg.at(pos + 3);
        const auto at = [&jpeg](std::size_t i) { return jpeg.begin() + static_cast<std::ptrdiff_t>(i); };
        segments.push_back({marker, pos, Buffer(at(pos + 4), at(pos + 2 + length))});
        pos += 2 + length;
        if (marker == 0xDA) {
            return segments;
        }
    }
}

// The example tables of the JPEG standard, Annex K, in natural order.
constexpr int luminance[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                               14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                               18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                               49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
constexpr int chrominance[64] = {17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
                                 99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
                                 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
constexpr int zigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
                            41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
                            30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

Buffer quality75(const int* base)
{
    Buffer table(64);
    for (int i = 0; i < 64; ++i) {
        table[i] = static_cast<std::uint8_t>(std::clamp((base[zigzag[i]] * 50 + 50) / 100, 1, 255));
    }
    return table;
}

TEST(Encoding, AllStreamsShareOneBaselineHeaderOf623Bytes)
{
    const Buffer first = embedded_jpeg(1);
    const std::vector<Segment> segments = header_segments(first);
    const std::size_t header_size = segments.back().offset + 2 + 2 + segments.back().body.size();
    EXPECT_EQ(header_size, 623u);

    std::vector<int> markers(segments.size());
    std::transform(segments.begin(), segments.end(), markers.begin(), [](const Segment& s) { return s.marker; });
    EXPECT_EQ(markers, (std::vector<int>{0xD8, 0xE0, 0xDB, 0xDB, 0xC0, 0xC4, 0xC4, 0xC4, 0xC4, 0xDA}));

    // JFIF 1.01, 96 x 96 dots per inch, no thumbnail.
    EXPECT_EQ(segments[1].body, (Buffer{'J', 'F', 'I', 'F', 0, 1, 1, 1, 0, 96, 0, 96, 0, 0}));

    // Quality 75 of the Annex K tables, 8-bit precision.
    Buffer luma = {0};
    const Buffer l = quality75(luminance);
    luma.insert(luma.end(), l.begin(), l.end());
    Buffer chroma = {1};
    const Buffer c = quality75(chrominance);
    chroma.insert(chroma.end(), c.begin(), c.end());
    EXPECT_EQ(segments[2].body, luma);
    EXPECT_EQ(segments[3].body, chroma);

    // 1024 x 768, 8 bits, Y 2x2 with table 0, Cb and Cr 1x1 with table 1.
    EXPECT_EQ(segments[4].body, (Buffer{8, 3, 0, 4, 0, 3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1}));

    // The standard Huffman tables: code-length counts of DC/AC luminance and
    // chrominance.
    const std::vector<Buffer> counts = {
        {0x00, 0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0},
        {0x10, 0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D},
        {0x01, 0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0},
        {0x11, 0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77},
    };
    for (int t = 0; t < 4; ++t) {
        const Buffer& body = segments[5 + t].body;
        EXPECT_EQ(Buffer(body.begin(), body.begin() + 17), counts[t]) << "Huffman table " << t;
    }

    for (int h = 2; h <= program::frame_count; ++h) {
        const Buffer other = embedded_jpeg(h);
        EXPECT_TRUE(std::equal(first.begin(), first.begin() + 623, other.begin())) << "Image" << h;
    }
}

TEST(Encoding, ScansHaveNoRestartOrOtherMarkers)
{
    for (int h = 1; h <= program::frame_count; ++h) {
        const Buffer jpeg = embedded_jpeg(h);
        int markers = 0;
        for (std::size_t i = 623; i + 1 < jpeg.size(); ++i) {
            if (jpeg[i] == 0xFF && jpeg[i + 1] != 0x00) {
                ++markers;
            }
        }
        EXPECT_EQ(markers, 1) << "Image" << h << ": only the end marker may follow the scan header";
    }
}

}  // namespace
