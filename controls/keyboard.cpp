#include "keyboard.hpp"

#include <algorithm>

namespace controls {

Outcome on_character(viewer::State& s, char32_t code)
{
    if (code == program::escape) {
        return Outcome::quit;
    }
    const auto* binding = std::find_if(program::key_table.begin(), program::key_table.end(),
                                       [code](const program::Binding& b) { return b.character == code; });
    if (binding != program::key_table.end()) {
        s.n = binding->command;
    }
    return Outcome::carry_on;
}

}  // namespace controls
