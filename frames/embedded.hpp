#pragma once

#include "frame_set.hpp"

namespace frames {

// The frame set built into the program: the 24 holder descriptions the
// generator wrote.  Lives for the whole run.
Bytes embedded_frame_set();

}  // namespace frames
