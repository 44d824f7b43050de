#include "bytes.hpp"

#include <cstdio>
#include <fstream>

namespace tools {

bool write_file(const std::string& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "make_frames: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace tools
