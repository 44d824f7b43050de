#pragma once

// The frame set as it is embedded in the program.
//
// The set is a sequence of 24 holder descriptions, one for each of the image
// holders Image1 ... Image24, stored in any order.  A description is a list of
// properties, each a one-byte code followed by its value:
//
//   01  u8 n              the holder's number n, 1..24 (the holder is Image<n>)
//   02  u32 L, L bytes    the holder's picture record, L bytes long
//   00                    end of the description
//
// Both properties must appear, each once, in either order.  A picture record
// (all integers little-endian) is
//
//   offset 0  4 bytes   magic 6C 74 00 00
//   offset 4  u32 N     length of the picture data; L must be N + 8
//   offset 8  N bytes   one JPEG stream from its start marker FF D8 to its end
//                       marker FF D9; data after the first end marker (still
//                       inside N) is allowed and ignored
//
// Every holder 1..24 must be described exactly once, and nothing may follow
// the last description.  Image<n>'s picture fills frame-table slot n - 1.

#include "format.hpp"

#include <array>
#include <cstddef>
#include <span>
#include <stdexcept>
#include <string>

namespace frames {

using Bytes = std::span<const std::byte>;

enum class Problem {
    truncated,           // a field runs past the end of the data
    unknown_property,    // a description holds a property code other than 00, 01, 02
    repeated_property,   // a description gives its number or its picture twice
    bad_holder_number,   // a holder number outside 1..24
    duplicate_holder,    // two descriptions for the same holder
    missing_number,      // a description without a holder number
    missing_picture,     // a description without a picture record
    missing_holder,      // some holder 1..24 has no description
    bad_magic,           // a record that does not start with 6C 74 00 00
    length_mismatch,     // a record length that is not N + 8
    no_start_marker,     // picture data that does not start with FF D8
    bad_marker_segment,  // a JPEG marker segment that is malformed or runs past N
    no_end_marker,       // picture data with no end marker FF D9 inside N
    wrong_size,          // a picture that is not 1024 x 768
    undecodable,         // the JPEG decoder reported an error or a warning
};

// A one-line description of the problem.
std::string describe(Problem problem);

// Thrown for a frame set that cannot be used.  holder() is 1..24 when the
// problem lies in Image<holder>'s description, 0 when no holder is known;
// the decoder's own reason, where it gives one, ends the message.
class BadFrameSet : public std::runtime_error {
public:
    BadFrameSet(Problem problem, int holder, const std::string& reason = {});
    Problem problem() const { return problem_; }
    int holder() const { return holder_; }

private:
    Problem problem_;
    int holder_;
};

// The JPEG stream of each holder, indexed by holder number - 1.  Each view
// ends at the stream's first end marker and points into the parsed data.
struct FrameSet {
    std::array<Bytes, program::frame_count> jpeg;
};

// Validates a whole frame set and finds each holder's JPEG stream, without
// decoding.  Throws BadFrameSet.
FrameSet parse_frame_set(Bytes data);

// Validates one picture record (magic, N, the JPEG marker structure) and
// returns its JPEG stream up to and including the first end marker.  Throws
// BadFrameSet naming the given holder.
Bytes parse_record(Bytes record, int holder);

}  // namespace frames
