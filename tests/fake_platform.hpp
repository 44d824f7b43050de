#pragma once

// A scripted stand-in for the window: each event pass delivers the next
// scripted list of events, every show is recorded as the slot it displayed,
// and the viewer's state is sampled at the start of each pass.

#include "platform/platform.hpp"
#include "viewer/holders.hpp"
#include "viewer/viewer.hpp"

#include "frames/embedded.hpp"

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace testing_support {

// Steps the real count would make, without spending the time.
inline std::uint64_t counted_steps(double k)
{
    return k >= 0 ? static_cast<std::uint64_t>(std::floor(k)) + 1 : 0;
}

class FakePlatform final : public platform::Platform {
public:
    // Script: passes[i] is delivered by the i-th event pass (0-based,
    // start-up passes included).  After the script, the pass numbered
    // end_after delivers a close request so that run() returns.
    std::vector<std::vector<platform::Event>> passes;
    int end_after = 40;

    // What happened, in order.
    std::vector<int> decoded;        // holder of each decode
    std::vector<int> shown;          // slot of each show
    std::vector<int> shows_at_pass;  // shown.size() when each pass began
    std::vector<viewer::State> state_at_pass;
    std::vector<double> counted;  // k handed to each count
    int delivered = 0;            // events the viewer accepted
    bool cleared = false;
    int shows_after_clear = 0;

    const viewer::Viewer* viewer = nullptr;

    viewer::Counter counter()
    {
        return [this](double k) {
            counted.push_back(k);
            return counted_steps(k);
        };
    }

    // The length of the stream each holder's picture was made from.
    std::array<std::size_t, program::frame_count> stream_bytes{};

    platform::Picture decode(frames::Bytes jpeg, int holder) override
    {
        decoded.push_back(holder);
        stream_bytes.at(static_cast<std::size_t>(holder - 1)) = jpeg.size();
        return platform::Picture{holder};
    }

    bool wait_until_active() override { return true; }

    void show(platform::Picture picture) override
    {
        if (cleared) {
            ++shows_after_clear;
        }
        shown.push_back(picture.holder - 1);
    }

    void process_events(platform::EventHandler& handler) override
    {
        const int pass = static_cast<int>(shows_at_pass.size());
        shows_at_pass.push_back(static_cast<int>(shown.size()));
        if (viewer) {
            state_at_pass.push_back(viewer->state());
        }
        std::vector<platform::Event> events;
        if (pass < static_cast<int>(passes.size())) {
            events = passes[pass];
        }
        if (pass >= end_after) {
            events.emplace_back(platform::CloseRequest{});
        }
        for (const platform::Event& e : events) {
            ++delivered;
            if (!handler.handle(e)) {
                return;
            }
        }
    }

    void clear() override { cleared = true; }
    void fail(const char*) override {}  // main reports failures; the viewer never does
};

// Runs a viewer over the fake and returns its exit status.
inline int run_viewer(FakePlatform& fake)
{
    viewer::Holders holders(frames::embedded_frame_set(), fake);
    viewer::Viewer v(fake, holders, fake.counter());
    fake.viewer = &v;
    const int status = v.run();
    fake.viewer = nullptr;
    return status;
}

inline constexpr int startup_passes = 23;

// Slots shown by the loop's ticks, in order (start-up's show of slot 0 left out).
inline std::vector<int> tick_slots(const FakePlatform& fake)
{
    return std::vector<int>(fake.shown.begin() + 1, fake.shown.end());
}

}  // namespace testing_support
