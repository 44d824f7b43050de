#include "frame_set.hpp"

#include <cstdint>
#include <cstring>
#include <string>

namespace frames {

namespace {

// Reads little-endian fields from a byte span; every read checks what is
// left and throws instead of running past the end.
class Cursor {
public:
    Cursor(Bytes data, int holder) : data_(data), holder_(holder) {}

    bool at_end() const { return pos_ == data_.size(); }
    std::size_t position() const { return pos_; }
    void set_holder(int holder) { holder_ = holder; }

    std::uint8_t u8()
    {
        need(1);
        return std::to_integer<std::uint8_t>(data_[pos_++]);
    }

    std::uint32_t u32()
    {
        need(4);
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            v |= std::to_integer<std::uint32_t>(data_[pos_ + i]) << (8 * i);
        }
        pos_ += 4;
        return v;
    }

    Bytes take(std::size_t count)
    {
        need(count);
        const Bytes part = data_.subspan(pos_, count);
        pos_ += count;
        return part;
    }

private:
    void need(std::size_t count) const
    {
        if (data_.size() - pos_ < count) {
            throw BadFrameSet(Problem::truncated, holder_);
        }
    }

    Bytes data_;
    std::size_t pos_ = 0;
    int holder_;
};

std::uint8_t byte_at(Bytes data, std::size_t i)
{
    return std::to_integer<std::uint8_t>(data[i]);
}

bool is_restart(std::uint8_t code)
{
    return code >= 0xD0 && code <= 0xD7;
}

// The end of the entropy-coded data that starts at pos: the position of the
// first marker that is neither a stuffed zero nor a restart marker (fill
// bytes before it skipped), or the data's size when there is none.  Checking
// a frame set spends nearly all its time in this loop, which is why it is a
// small function of its own: a compiler that optimises whatever has run long
// (the browser's) then optimises just this, not all that would be inlined.
[[gnu::noinline]] std::size_t entropy_coded_end(Bytes data, std::size_t pos)
{
    const std::size_t size = data.size();
    while (pos < size) {
        if (byte_at(data, pos) != 0xFF) {
            // The bulk of the data: on to its next 0xFF at once.
            const void* found = std::memchr(data.data() + pos, 0xFF, size - pos);
            pos =
                found != nullptr ? static_cast<std::size_t>(static_cast<const std::byte*>(found) - data.data()) : size;
            continue;
        }
        if (pos + 1 >= size) {
            return size;
        }
        const std::uint8_t next = byte_at(data, pos + 1);
        if (next == 0x00 || is_restart(next)) {
            pos += 2;
        } else if (next == 0xFF) {
            ++pos;
        } else {
            return pos;
        }
    }
    return size;
}

// Walks the JPEG's marker segments to its first end marker and returns its
// length up to and including that marker.  A byte search for FF D9 could be
// fooled by those bytes inside a segment; the walk skips every segment by its
// length and the entropy-coded data by its byte stuffing.
std::size_t jpeg_length(Bytes data, int holder)
{
    const std::size_t size = data.size();
    if (size < 2 || byte_at(data, 0) != 0xFF || byte_at(data, 1) != 0xD8) {
        throw BadFrameSet(Problem::no_start_marker, holder);
    }
    std::size_t pos = 2;
    for (;;) {
        if (pos >= size) {
            throw BadFrameSet(Problem::no_end_marker, holder);
        }
        if (byte_at(data, pos) != 0xFF) {
            throw BadFrameSet(Problem::bad_marker_segment, holder);
        }
        while (pos < size && byte_at(data, pos) == 0xFF) {
            ++pos;  // fill bytes may pad any marker
        }
        if (pos >= size) {
            throw BadFrameSet(Problem::no_end_marker, holder);
        }
        const std::uint8_t code = byte_at(data, pos++);
        if (code == 0xD9) {
            return pos;
        }
        if (code == 0x00 || code == 0xD8) {
            throw BadFrameSet(Problem::bad_marker_segment, holder);
        }
        if (is_restart(code) || code == 0x01) {
            continue;  // markers without a segment
        }
        if (size - pos < 2) {
            throw BadFrameSet(Problem::bad_marker_segment, holder);
        }
        const std::size_t length = (std::size_t{byte_at(data, pos)} << 8) | byte_at(data, pos + 1);
        if (length < 2 || length > size - pos) {
            throw BadFrameSet(Problem::bad_marker_segment, holder);
        }
        pos += length;
        if (code != 0xDA) {
            continue;
        }
        // Entropy-coded data follows the scan header.
        pos = entropy_coded_end(data, pos);
    }
}

void check_holder_number(int holder)
{
    if (holder < 1 || holder > program::frame_count) {
        throw BadFrameSet(Problem::bad_holder_number, 0);
    }
}

}  // namespace

std::string describe(Problem problem)
{
    switch (problem) {
    case Problem::truncated: return "the data ends in the middle of a field";
    case Problem::unknown_property: return "unknown property code in the holder's description";
    case Problem::repeated_property: return "the holder's description gives a property twice";
    case Problem::bad_holder_number: return "holder number outside 1.." + std::to_string(program::frame_count);
    case Problem::duplicate_holder: return "the holder is described twice";
    case Problem::missing_number: return "a holder's description has no holder number";
    case Problem::missing_picture: return "the holder's description has no picture record";
    case Problem::missing_holder: return "the holder is not described";
    case Problem::bad_magic: return "the picture record does not start with 6C 74 00 00";
    case Problem::length_mismatch: return "the picture record's length does not match its data length";
    case Problem::no_start_marker: return "the picture data does not start with a JPEG start marker";
    case Problem::bad_marker_segment: return "the picture data holds a malformed JPEG marker segment";
    case Problem::no_end_marker: return "the picture data has no JPEG end marker";
    case Problem::wrong_size:
        return "the picture is not " + std::to_string(program::width) + " x " + std::to_string(program::height) +
               " pixels";
    case Problem::undecodable: return "the picture cannot be decoded";
    }
    return "unknown problem";
}

namespace {

std::string message(Problem problem, int holder, const std::string& reason)
{
    std::string text = "frame set: ";
    if (holder > 0) {
        text += "Image" + std::to_string(holder) + ": ";
    }
    text += describe(problem);
    if (!reason.empty()) {
        text += " (" + reason + ")";
    }
    return text;
}

}  // namespace

BadFrameSet::BadFrameSet(Problem problem, int holder, const std::string& reason)
    : std::runtime_error(message(problem, holder, reason)), problem_(problem), holder_(holder)
{
}

Bytes parse_record(Bytes record, int holder)
{
    Cursor in(record, holder);
    const Bytes magic = in.take(4);
    for (std::size_t i = 0; i < 4; ++i) {
        if (std::to_integer<std::uint8_t>(magic[i]) != format::record_magic[i]) {
            throw BadFrameSet(Problem::bad_magic, holder);
        }
    }
    const std::uint32_t n = in.u32();
    if (n != record.size() - format::record_header_size) {
        throw BadFrameSet(Problem::length_mismatch, holder);
    }
    const Bytes data = in.take(n);
    return data.first(jpeg_length(data, holder));
}

FrameSet parse_frame_set(Bytes data)
{
    FrameSet set;
    std::array<bool, program::frame_count> seen{};
    Cursor in(data, 0);
    while (!in.at_end()) {
        int holder = 0;
        Bytes record;
        bool has_picture = false;
        for (;;) {
            const std::uint8_t code = in.u8();
            if (code == format::end_of_description) {
                break;
            }
            if (code == format::holder_number) {
                if (holder != 0) {
                    throw BadFrameSet(Problem::repeated_property, holder);
                }
                holder = in.u8();
                check_holder_number(holder);
                if (seen[holder - 1]) {
                    throw BadFrameSet(Problem::duplicate_holder, holder);
                }
                in.set_holder(holder);
            } else if (code == format::picture) {
                if (has_picture) {
                    throw BadFrameSet(Problem::repeated_property, holder);
                }
                record = in.take(in.u32());
                has_picture = true;
            } else {
                throw BadFrameSet(Problem::unknown_property, holder);
            }
        }
        if (holder == 0) {
            throw BadFrameSet(Problem::missing_number, 0);
        }
        if (!has_picture) {
            throw BadFrameSet(Problem::missing_picture, holder);
        }
        set.jpeg[holder - 1] = parse_record(record, holder);
        seen[holder - 1] = true;
        in.set_holder(0);
    }
    for (int h = 1; h <= program::frame_count; ++h) {
        if (!seen[h - 1]) {
            throw BadFrameSet(Problem::missing_holder, h);
        }
    }
    return set;
}

}  // namespace frames
