#include "keyboard.hpp"

namespace controls {

Outcome on_character(viewer::State& s, char32_t code)
{
    if (code == escape) {
        return Outcome::quit;
    }
    for (const Binding& b : key_table) {
        if (b.character == code) {
            s.n = b.command;
            break;
        }
    }
    return Outcome::carry_on;
}

}  // namespace controls
