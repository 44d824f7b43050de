// vormo-kidney: plays the kidney-shaped cam's rotation in a 1024 x 768 window.

#include "frames/embedded.hpp"
#include "frames/holders.hpp"
#include "viewer/pause.hpp"
#include "viewer/platform.hpp"
#include "viewer/viewer.hpp"

#include <exception>
#include <string>

int main()
{
    try {
        const std::unique_ptr<viewer::Platform> window = viewer::open_platform();
        frames::Holders holders(frames::embedded_frame_set(), window->pixel_layout());
        // Decode the first frame while the window is being mapped, so that
        // start-up can show it the moment the window is there.
        holders.picture(1);
        if (!window->wait_until_active()) {
            return 0;  // closed before it was ever shown
        }
        viewer::Viewer viewer(*window, holders, viewer::busy_count);
        return viewer.run();
    } catch (const std::exception& e) {
        viewer::report_failure(("vormo-kidney: " + std::string(e.what())).c_str());
        return 1;
    }
}
