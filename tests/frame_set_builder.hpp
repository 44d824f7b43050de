#pragma once

// Builds frame-set bytes by hand, for tests and fuzz seeds.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testing_support {

using Buffer = std::vector<std::uint8_t>;

inline void put_u32(Buffer& out, std::size_t v)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
}

// A picture record: magic, N, then the JPEG bytes.
inline Buffer record(const Buffer& jpeg)
{
    Buffer r = {0x6C, 0x74, 0x00, 0x00};
    put_u32(r, jpeg.size());
    r.insert(r.end(), jpeg.begin(), jpeg.end());
    return r;
}

// One holder description in the embedded format: number, picture, end.
inline Buffer description(int holder, const Buffer& rec)
{
    Buffer d = {0x01, static_cast<std::uint8_t>(holder), 0x02};
    put_u32(d, rec.size());
    d.insert(d.end(), rec.begin(), rec.end());
    d.push_back(0x00);
    return d;
}

}  // namespace testing_support
