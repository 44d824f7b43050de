#include "keyboard.hpp"

#include <algorithm>

namespace controls {

Outcome on_character(viewer::State& s, char32_t code)
{
    if (code == escape) {
        return Outcome::quit;
    }
    const auto* binding =
        std::find_if(key_table.begin(), key_table.end(), [code](const Binding& b) { return b.character == code; });
    if (binding != key_table.end()) {
        s.n = binding->command;
    }
    return Outcome::carry_on;
}

}  // namespace controls
