// vormo-kidney: plays the kidney-shaped cam's rotation in its window.

#include "frames/embedded.hpp"
#include "platform/platform.hpp"
#include "viewer/holders.hpp"
#include "viewer/pause.hpp"
#include "viewer/viewer.hpp"

#include <exception>
#include <string>

int main()
{
    std::unique_ptr<platform::Platform> window;
    try {
        window = platform::open_platform();
        viewer::Holders holders(frames::embedded_frame_set(), *window);
        // Decode the first frame while the window is being mapped, so that
        // start-up can show it the moment the window is there.
        holders.picture(1);
        if (!window->wait_until_active()) {
            return 0;  // closed before it was ever shown
        }
        viewer::Viewer viewer(*window, holders, viewer::busy_count);
        return viewer.run();
    } catch (const std::exception& e) {
        const std::string line = "vormo-kidney: " + std::string(e.what());
        if (window) {
            window->fail(line.c_str());
        } else {
            platform::report_failure(line.c_str());
        }
        return 1;
    }
}
