// The Linux program on a Wayland desktop with no X server: on a headless
// sway of the test's own, it floats at its size with its caption, shows the
// frames, takes its keys, and ends with one line when the compositor goes.

#include <gtest/gtest.h>

#include "frame_watch.hpp"
#include "wayland.hpp"

#include "common/program.hpp"

#include <memory>
#include <optional>
#include <string>

namespace {

using namespace e2e;

// Only bounds a hang: every wait ends as soon as what it waits for happens.
constexpr auto hang_limit = 20000ms;

int slot_after(int slot, int steps)
{
    return ((slot + steps) % program::frame_count + program::frame_count) % program::frame_count;
}

// Each test on an output of scale 1 and of scale 2.
class OnWayland : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        // In a sanitizer build, no leak report: SDL's Wayland surface draws
        // through Mesa's software OpenGL, whose driver is unloaded before
        // the check and leaves allocations it cannot name.  The X11 runs,
        // which share everything else, check for leaks.
        std::vector<std::string> env = compositor_.client_environment();
        env.emplace_back("ASAN_OPTIONS=detect_leaks=0");
        viewer_ = std::make_unique<Process>(std::vector<std::string>{VORMO_EXECUTABLE}, env);
        // Found, focused, and showing a frame: mapped, and taking keys.
        const auto end = Clock::now() + hang_limit;
        while (!((view_ = compositor_.view("vormo-kidney")).focused && shown() >= 0) && Clock::now() < end &&
               viewer_->running()) {
            sleep_for(50ms);
        }
        view_ = compositor_.view("vormo-kidney");  // where it stays
        ASSERT_TRUE(view_.found) << viewer_->error_output();
    }

    // The slot the window shows, or -1 (between two frames, or none).  The
    // window is looked for each time: the compositor places it after it
    // first appears.
    int shown() const
    {
        const Compositor::View v = compositor_.view("vormo-kidney");
        const Compositor::Grab g = compositor_.grab(v.x, v.y, program::width, program::height);
        return g.bgrx.empty() ? -1 : frames_.slot_of(g.bgrx.data(), 4 * static_cast<std::size_t>(program::width));
    }

    // The slot the window shows once it has shown the same one for well
    // over a tick (a grab takes about a tenth of a second), or -1.
    int settled() const
    {
        const auto end = Clock::now() + hang_limit;
        int last = shown();
        while (Clock::now() < end) {
            sleep_for(300ms);
            const int now = shown();
            if (now >= 0 && now == last) {
                return now;
            }
            last = now;
        }
        return -1;
    }

    Compositor compositor_{VORMO_WAYLAND_SEAT, 1280 * GetParam(), 1024 * GetParam(), GetParam()};
    const FrameMatcher frames_;
    std::unique_ptr<Process> viewer_;
    Compositor::View view_;
};

// 1024 x 768 in the layout's units, whatever the output's scale: on an
// output of scale 2 the compositor doubles the frames, each pixel a whole
// 2 x 2 block, as it doubles every program that draws at scale 1.
TEST_P(OnWayland, FloatsAtItsSizeWithItsCaptionAndEndsOnEscWithNothingOnStderr)
{
    EXPECT_TRUE(view_.floating);
    EXPECT_EQ(view_.width, program::width);
    EXPECT_EQ(view_.height, program::height);
    EXPECT_EQ(view_.title, program::caption);
    const Compositor::Grab g = compositor_.grab(view_.x, view_.y, program::width, program::height);
    EXPECT_TRUE(g.units_whole);
    EXPECT_GE(frames_.slot_of(g.bgrx.data(), 4 * static_cast<std::size_t>(program::width)), 0);

    compositor_.escape();
    EXPECT_EQ(viewer_->wait_for_exit(hang_limit), 0);
    EXPECT_EQ(viewer_->error_output(), "");
}

TEST_P(OnWayland, ShowsTheFramesAndStepsWithItsKeys)
{
    compositor_.type("*");  // stop
    const int stopped = settled();
    ASSERT_GE(stopped, 0) << "no frame held still in the window";
    compositor_.type("*");
    EXPECT_EQ(settled(), slot_after(stopped, 1));
    compositor_.type("/");
    EXPECT_EQ(settled(), stopped);
    compositor_.type("/");
    EXPECT_EQ(settled(), slot_after(stopped, -1));
    EXPECT_TRUE(viewer_->running());
}

// A click starts mouse-step mode; a press, then a drag above the window
// (negative positions reach the viewer while the button is held): one step
// back; the release outside is a click, and the frames run again.
TEST_P(OnWayland, ClicksAndADragBeyondTheEdgeReachTheViewer)
{
    const auto at = [this](int x, int y) { compositor_.move(view_.x + x, view_.y + y); };
    at(500, 300);
    compositor_.press();
    compositor_.release();
    at(500, 320);
    const int stepped = settled();
    ASSERT_GE(stepped, 0) << "no frame held still in mouse-step mode";

    compositor_.press();
    at(500, -40);
    EXPECT_EQ(settled(), slot_after(stepped, -1));

    compositor_.release();
    const auto end = Clock::now() + hang_limit;
    int now = -1;
    while (((now = shown()) < 0 || now == slot_after(stepped, -1)) && Clock::now() < end) {
        sleep_for(50ms);
    }
    EXPECT_GE(now, 0) << "no frame seen after the release";
    EXPECT_NE(now, slot_after(stepped, -1)) << "the release outside was no click";
    EXPECT_TRUE(viewer_->running());
}

// Given a larger size by the compositor, the frame stays unscaled at the
// top-left, and the rest is black.
TEST_P(OnWayland, TiledTheFrameStaysAtTheTopLeftAndTheRestIsBlack)
{
    compositor_.tile("vormo-kidney");
    Compositor::View v;
    const auto end = Clock::now() + hang_limit;
    while ((v = compositor_.view("vormo-kidney")).width == program::width && Clock::now() < end) {
        sleep_for(50ms);
    }
    ASSERT_GT(v.width, program::width);
    ASSERT_GT(v.height, program::height);
    // Until the window shows a frame at its new size.
    const std::size_t stride = 4 * static_cast<std::size_t>(v.width);
    int slot = -1;
    long lit = -1;  // pixels beyond the frame that are not black
    while ((slot < 0 || lit != 0) && Clock::now() < end) {
        const Compositor::Grab g = compositor_.grab(v.x, v.y, v.width, v.height);
        if (g.bgrx.empty()) {
            continue;
        }
        slot = frames_.slot_of(g.bgrx.data(), stride);
        lit = 0;
        for (int y = 0; y < v.height; ++y) {
            for (int x = y < program::height ? program::width : 0; x < v.width; ++x) {
                const std::uint8_t* p = &g.bgrx[static_cast<std::size_t>(y) * stride + 4 * static_cast<std::size_t>(x)];
                lit += (p[0] | p[1] | p[2]) != 0;
            }
        }
    }
    EXPECT_GE(slot, 0) << "the window's top-left shows no frame";
    EXPECT_EQ(lit, 0) << "pixels beyond the frame that are not black";
}

TEST_P(OnWayland, CloseRequestEndsWithStatusZero)
{
    compositor_.close("vormo-kidney");
    EXPECT_EQ(viewer_->wait_for_exit(hang_limit), 0);
    EXPECT_EQ(viewer_->error_output(), "");
}

TEST_P(OnWayland, DoubleClickEndsWithStatusZero)
{
    compositor_.move(view_.x + 200, view_.y + 200);
    compositor_.press();
    compositor_.release();
    compositor_.press();
    compositor_.release();
    EXPECT_EQ(viewer_->wait_for_exit(hang_limit), 0);
    EXPECT_EQ(viewer_->error_output(), "");
}

TEST_P(OnWayland, ALostCompositorIsOneLineAndStatusOne)
{
    compositor_.kill();
    const std::optional<int> status = viewer_->wait_for_exit(hang_limit);
    ASSERT_TRUE(status.has_value()) << "still running long after the compositor died";
    EXPECT_EQ(*status, 1);
    EXPECT_EQ(viewer_->error_output(), "vormo-kidney: lost the connection to the Wayland compositor\n");
}

INSTANTIATE_TEST_SUITE_P(Scales, OnWayland, ::testing::Values(1, 2), [](const ::testing::TestParamInfo<int>& scale) {
    return "Scale" + std::to_string(scale.param);
});

}  // namespace
