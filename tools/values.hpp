#pragma once

// The program's fixed values as JSON, for what is not C++: the page and its
// tests.

#include <string>

namespace tools {

std::string program_values();

}  // namespace tools
