#pragma once

// The checks of the programs that run under Wine, where GoogleTest is not
// built: a failed check prints its file, line and condition, and counts.

#include <cstdio>
#include <string>

namespace win32_checks {

inline int failures = 0;

inline void check(bool ok, int line, const std::string& what, const char* file = __builtin_FILE())
{
    if (!ok) {
        const std::string path = file;
        std::fprintf(stderr, "%s:%d: %s\n", path.substr(path.find_last_of("/\\") + 1).c_str(), line, what.c_str());
        ++failures;
    }
}

}  // namespace win32_checks

#define CHECK(condition) win32_checks::check((condition), __LINE__, #condition)
