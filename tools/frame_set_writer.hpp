#pragma once

// The embedded frame set in its byte format (frames/format.hpp), and the
// assembler source that pulls it into the program.

#include "bytes.hpp"

#include <string>
#include <vector>

namespace tools {

// The frame set holding jpegs[holder - 1] for each holder.
Bytes frame_set(const std::vector<Bytes>& jpegs);

// Writes the assembler source: the template with the set's path, size and
// holder count filled in.  False (after a message on stderr) on failure.
bool write_assembler(const std::string& template_path, const std::string& out_path, const std::string& bin_path,
                     std::size_t size);

}  // namespace tools
