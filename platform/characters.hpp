#pragma once

// Typed text in the encodings windowing systems deliver it in, turned into
// the code points the key handler compares.  Malformed input becomes U+FFFD,
// which no key binding matches.

#include <string_view>

namespace platform {

inline constexpr char32_t replacement_character = 0xFFFD;

// Calls emit(code) for each code point of the UTF-8 text, in order, until
// emit returns false; returns false if it did.  Only the shortest form of a
// code point counts: an overlong form (such as C0 AF for "/"), a surrogate
// and anything past U+10FFFF are malformed, so no bound key hides in them.
template <typename Emit> bool decode_utf8(std::string_view text, Emit emit)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = p + text.size();
    while (p < end) {
        char32_t code = replacement_character;
        int extra = 0;
        char32_t least = 0;  // the smallest code point that needs that length
        if (*p < 0x80) {
            code = *p;
        } else if ((*p & 0xE0) == 0xC0) {
            code = *p & 0x1F;
            extra = 1;
            least = 0x80;
        } else if ((*p & 0xF0) == 0xE0) {
            code = *p & 0x0F;
            extra = 2;
            least = 0x800;
        } else if ((*p & 0xF8) == 0xF0) {
            code = *p & 0x07;
            extra = 3;
            least = 0x10000;
        }
        ++p;
        for (int i = 0; i < extra; ++i, ++p) {
            if (p == end || (*p & 0xC0) != 0x80) {
                code = replacement_character;
                break;
            }
            code = (code << 6) | (*p & 0x3F);
        }
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            code = replacement_character;
        }
        if (!emit(code)) {
            return false;
        }
    }
    return true;
}

// Joins UTF-16 code units, arriving one at a time, into code points: a high
// surrogate waits for the low one that follows it.
class Utf16Joiner {
public:
    // Takes the next unit; returns how many code points are complete (0, 1
    // or 2: an unpaired high surrogate is given up as U+FFFD when a unit
    // that is not its low surrogate follows) and writes them to out.
    int feed(char16_t unit, char32_t (&out)[2])
    {
        int count = 0;
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (high_ != 0 && low) {
            out[count++] = 0x10000 + ((static_cast<char32_t>(high_) - 0xD800) << 10) + (unit - 0xDC00);
            high_ = 0;
            return count;
        }
        if (high_ != 0) {
            out[count++] = replacement_character;
            high_ = 0;
        }
        if (high) {
            high_ = unit;
        } else {
            out[count++] = low ? replacement_character : unit;
        }
        return count;
    }

private:
    char16_t high_ = 0;
};

}  // namespace platform
