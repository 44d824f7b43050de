// The start-up sequence, the tick and the loop, driven through the scripted
// fake platform with the real embedded frames.

#include "fake_platform.hpp"

#include "viewer/pause.hpp"
#include "viewer/state.hpp"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using platform::TypedCharacter;
using testing_support::FakePlatform;
using testing_support::run_viewer;
using testing_support::startup_passes;
using testing_support::tick_slots;
using viewer::State;

// The pass that ends tick t (t = 1 is the loop's first tick).
int pass_of_tick(int t)
{
    return startup_passes + t - 1;
}

// A fake whose loop runs `ticks` ticks, with `events` delivered at the end
// of the given ticks.
FakePlatform script(int ticks, const std::vector<std::pair<int, std::vector<platform::Event>>>& events)
{
    FakePlatform fake;
    fake.end_after = pass_of_tick(ticks);
    fake.passes.resize(pass_of_tick(ticks) + 1);
    for (const auto& [tick, list] : events) {
        fake.passes[pass_of_tick(tick)] = list;
    }
    return fake;
}

TEST(StartUp, ShowsSlotZeroAtOnceThenBindsTheRestOnePassEach)
{
    FakePlatform fake;
    fake.end_after = startup_passes;  // the first tick's pass ends the run
    EXPECT_EQ(run_viewer(fake), 0);

    ASSERT_GE(fake.shows_at_pass.size(), 1u);
    EXPECT_EQ(fake.shows_at_pass[0], 1) << "slot 0 must be on screen before the first event pass";
    EXPECT_EQ(fake.shown.front(), 0);
    // 23 start-up passes with nothing shown between them, then the first tick.
    for (int p = 0; p < startup_passes; ++p) {
        EXPECT_EQ(fake.shows_at_pass[p], 1) << "pass " << p;
    }
    EXPECT_EQ(tick_slots(fake), (std::vector<int>{1}));
    EXPECT_EQ(fake.counted, (std::vector<double>{program::startup_pace}));

    const State& first = fake.state_at_pass[startup_passes];
    EXPECT_EQ(first.n, 1);
    EXPECT_EQ(first.l, 1);
    EXPECT_EQ(first.k, program::startup_pace);
}

TEST(StartUp, KeyDuringLoadingIsOverwrittenByTheRunCommand)
{
    FakePlatform fake = script(3, {});
    fake.passes[4] = {TypedCharacter{U'-'}};
    run_viewer(fake);
    EXPECT_EQ(tick_slots(fake), (std::vector<int>{1, 2, 3}));
}

TEST(StartUp, ClickDuringLoadingSavesStoppedAndStillRunsForwards)
{
    FakePlatform fake = script(4, {{2, {platform::MouseMove{1.0f, 5.0f}}}});
    fake.passes[7] = {platform::Click{}};
    run_viewer(fake);
    const State& after_startup = fake.state_at_pass[startup_passes];
    EXPECT_EQ(after_startup.nm, 1);
    EXPECT_EQ(after_startup.n1, 0);
    // Runs forwards at first; the move in mouse-step mode then steps forward
    // once (n = 2 from running after start-up) and stops.
    EXPECT_EQ(tick_slots(fake), (std::vector<int>{1, 2, 3, 3}));
}

TEST(Loop, RunsForwardsAndWrapsFrom23To0)
{
    FakePlatform fake = script(30, {});
    run_viewer(fake);
    const std::vector<int> slots = tick_slots(fake);
    ASSERT_EQ(slots.size(), 30u);
    for (int t = 0; t < 30; ++t) {
        EXPECT_EQ(slots[t], (t + 1) % program::frame_count);
    }
}

TEST(Loop, RunsBackwardsFromZeroThroughTwentyThree)
{
    // "-" at the end of the tick showing slot 1.
    FakePlatform fake = script(6, {{1, {TypedCharacter{U'-'}}}});
    run_viewer(fake);
    EXPECT_EQ(tick_slots(fake), (std::vector<int>{1, 23, 22, 21, 20, 19}));
}

TEST(Loop, OnlyTheLastOfTwoCommandsBetweenTicksCounts)
{
    FakePlatform fake = script(4, {{2, {TypedCharacter{U'+'}, TypedCharacter{U'/'}}}});
    run_viewer(fake);
    // "/" while running from start-up: one back, then stopped.
    EXPECT_EQ(tick_slots(fake), (std::vector<int>{1, 2, 1, 1}));
}

TEST(Loop, StopAfterStartUpMovesOneFrameButAfterARunCommandStopsInPlace)
{
    FakePlatform forward = script(4, {{2, {TypedCharacter{U'*'}}}});
    run_viewer(forward);
    EXPECT_EQ(tick_slots(forward), (std::vector<int>{1, 2, 3, 3}));

    FakePlatform back = script(4, {{2, {TypedCharacter{U'/'}}}});
    run_viewer(back);
    EXPECT_EQ(tick_slots(back), (std::vector<int>{1, 2, 1, 1}));

    FakePlatform after_run = script(5, {{1, {TypedCharacter{U'+'}}}, {3, {TypedCharacter{U'.'}}}});
    run_viewer(after_run);
    EXPECT_EQ(tick_slots(after_run), (std::vector<int>{1, 3, 4, 4, 4}));

    FakePlatform after_back = script(5, {{1, {TypedCharacter{U'-'}}}, {3, {TypedCharacter{U'/'}}}});
    run_viewer(after_back);
    EXPECT_EQ(tick_slots(after_back), (std::vector<int>{1, 23, 22, 22, 22}));
}

TEST(Loop, RepeatedKeyInOnePassStillAdvancesTwoFrames)
{
    // A held "+" whose repeats all reach one pass: n = 3 set again and again.
    FakePlatform fake = script(4, {{2, {TypedCharacter{U'+'}, TypedCharacter{U'+'}, TypedCharacter{U'+'}}}});
    run_viewer(fake);
    EXPECT_EQ(tick_slots(fake), (std::vector<int>{1, 2, 4, 5}));
}

TEST(Loop, EachTickCountsToTheCurrentPace)
{
    FakePlatform fake = script(3, {{1, {platform::MouseMove{0.0f, 10.0f}}}, {2, {platform::MouseMove{-1.0f, 10.0f}}}});
    run_viewer(fake);
    EXPECT_EQ(fake.counted, (std::vector<double>{program::startup_pace, 0, -300}));
}

TEST(Quit, EscapeClearsTheWindowAndEndsAtOnce)
{
    FakePlatform fake =
        script(10, {{2, {TypedCharacter{U'+'}, TypedCharacter{program::escape}, TypedCharacter{U'-'}}}});
    EXPECT_EQ(run_viewer(fake), 0);
    EXPECT_TRUE(fake.cleared);
    EXPECT_EQ(fake.shows_after_clear, 0);
    EXPECT_EQ(tick_slots(fake).size(), 2u) << "no tick after quit";
    EXPECT_EQ(fake.delivered, 2) << "nothing after ESC is handled";
}

TEST(Quit, DoubleClickAndWindowCloseEndTheProgram)
{
    FakePlatform dbl = script(10, {{3, {platform::Click{}, platform::DoubleClick{}, platform::Click{}}}});
    EXPECT_EQ(run_viewer(dbl), 0);
    EXPECT_TRUE(dbl.cleared);
    EXPECT_EQ(tick_slots(dbl).size(), 3u);

    FakePlatform closed = script(10, {{1, {platform::CloseRequest{}}}});
    EXPECT_EQ(run_viewer(closed), 0);
    EXPECT_EQ(tick_slots(closed).size(), 1u);
}

TEST(Quit, EscapeDuringLoadingStopsTheStartUp)
{
    FakePlatform fake;
    fake.passes.resize(6);
    fake.passes[5] = {TypedCharacter{program::escape}};
    EXPECT_EQ(run_viewer(fake), 0);
    EXPECT_TRUE(fake.cleared);
    EXPECT_EQ(fake.shows_at_pass.size(), 6u) << "no start-up pass after quit";
    EXPECT_TRUE(tick_slots(fake).empty());
    EXPECT_TRUE(fake.counted.empty());
}

TEST(Loop, AnyInputKeepsTheSlotInRangeAndShowsItsFrame)
{
    std::mt19937 random(2024);
    const std::vector<char32_t> keys = {U'-', U'+', U',', U'/', U'*', U' ', U'.', U'=', U'a', 0x00E9};
    FakePlatform fake;
    constexpr int ticks = 3000;
    fake.end_after = pass_of_tick(ticks);
    fake.passes.resize(pass_of_tick(ticks) + 1);
    for (auto& pass : fake.passes) {
        const int count = std::uniform_int_distribution<int>(0, 4)(random);
        for (int i = 0; i < count; ++i) {
            switch (std::uniform_int_distribution<int>(0, 2)(random)) {
            case 0: pass.emplace_back(TypedCharacter{keys[random() % keys.size()]}); break;
            case 1: pass.emplace_back(platform::Click{}); break;
            default:
                pass.emplace_back(platform::to_user_scale(std::uniform_int_distribution<int>(-200, 1300)(random),
                                                          std::uniform_int_distribution<int>(-200, 1000)(random)));
            }
        }
    }
    EXPECT_EQ(run_viewer(fake), 0);
    ASSERT_EQ(tick_slots(fake).size(), static_cast<std::size_t>(ticks));
    for (std::size_t i = 0; i < fake.state_at_pass.size(); ++i) {
        const State& s = fake.state_at_pass[i];
        ASSERT_GE(s.l, 0);
        ASSERT_LT(s.l, program::frame_count);
        if (i >= startup_passes) {
            ASSERT_EQ(fake.shown[i - startup_passes + 1], s.l) << "the tick must show the current slot";
        }
    }
}

// --- One tick's state update, row by row ---------------------------------

struct TickCase {
    const char* what;
    State before;
    int l_after;
    int n_after;
    int m_after;
    int mm_after;
};

State with(int l, int n, int m, int mm)
{
    State s;
    s.l = l;
    s.n = n;
    s.m = m;
    s.mm = mm;
    return s;
}

TEST(Tick, FollowsTheCommandRules)
{
    const std::vector<TickCase> cases = {
        {"running forwards", with(5, 1, 0, 0), 6, 1, 0, 0},
        {"running forwards after +", with(5, 1, 0, 1), 6, 1, 0, 1},
        {"running backwards", with(5, 1, 1, 0), 4, 1, 1, 0},
        {"stopped", with(5, 0, 0, 0), 5, 0, 0, 0},
        {"- arrives", with(5, -1, 0, 0), 3, 1, 1, 0},
        {"- arrives at 0", with(0, -1, 0, 1), 22, 1, 1, 0},
        {"+ arrives", with(5, 3, 0, 0), 7, 1, 0, 1},
        {"+ arrives at 23", with(23, 3, 1, 0), 1, 1, 0, 1},
        {"/ while stopped", with(5, -2, 0, 0), 4, 0, 0, 0},
        {"/ while stopped at 0", with(0, -2, 0, 0), 23, 0, 0, 0},
        {"/ after a run command", with(5, -2, 0, 1), 5, 0, 0, 0},
        {"/ while running backwards", with(5, -2, 1, 0), 5, 0, 0, 0},
        {"* while stopped", with(5, 2, 0, 0), 6, 0, 0, 0},
        {"* while stopped at 23", with(23, 2, 0, 0), 0, 0, 0, 0},
        {"* after a run command", with(5, 2, 0, 1), 5, 0, 0, 0},
        {"* while running backwards", with(5, 2, 1, 0), 5, 0, 0, 0},
        {"running forwards wraps", with(23, 1, 0, 0), 0, 1, 0, 0},
        {"running backwards wraps", with(0, 1, 1, 0), 23, 1, 1, 0},
    };
    for (const TickCase& c : cases) {
        State s = c.before;
        viewer::apply_command(s);
        EXPECT_EQ(s.l, c.l_after) << c.what;
        EXPECT_EQ(s.n, c.n_after) << c.what;
        EXPECT_EQ(s.m, c.m_after) << c.what;
        EXPECT_EQ(s.mm, c.mm_after) << c.what;
    }
}

TEST(Pause, CountsFloorOfKPlusOneStepsAndNoneBelowZero)
{
    EXPECT_EQ(viewer::busy_count(0), 1u);
    EXPECT_EQ(viewer::busy_count(0.99), 1u);
    EXPECT_EQ(viewer::busy_count(1), 2u);
    EXPECT_EQ(viewer::busy_count(13294.417), 13295u);
    EXPECT_EQ(viewer::busy_count(10000), 10001u);
    EXPECT_EQ(viewer::busy_count(-0.5), 0u);
    EXPECT_EQ(viewer::busy_count(-300), 0u);
}

}  // namespace
