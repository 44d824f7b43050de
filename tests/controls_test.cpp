// The keyboard and mouse handlers, on the viewer state alone.

#include "controls/keyboard.hpp"
#include "controls/mouse.hpp"
#include "platform/platform.hpp"

#include <gtest/gtest.h>

#include <string_view>

namespace {

using controls::Outcome;
using viewer::State;

int command_for(char32_t c)
{
    State s;
    s.n = 99;  // a value no key sets
    EXPECT_EQ(controls::on_character(s, c), Outcome::carry_on);
    return s.n;
}

TEST(Keyboard, EveryKeyTheCaptionNamesIsBound)
{
    EXPECT_EQ(command_for(U' '), 2);  // SpaceBar
    EXPECT_EQ(command_for(U'+'), 3);
    EXPECT_EQ(command_for(U'-'), -1);
    EXPECT_EQ(command_for(U'/'), -2);
    EXPECT_EQ(command_for(U'*'), 2);
    EXPECT_EQ(command_for(U','), 3);
    EXPECT_EQ(command_for(U'.'), 2);
}

TEST(Keyboard, EverythingElseIsIgnored)
{
    for (const char32_t c : {U'=', U'<', U'>', U'a', U'A', U'k', U'\r', U'\n', U'\t', U'0', char32_t{0},
                             char32_t{0x00E9}, char32_t{0xFF0B}, char32_t{0xFFFD}, char32_t{0x1F600}}) {
        EXPECT_EQ(command_for(c), 99) << "code " << static_cast<unsigned>(c);
    }
}

TEST(Keyboard, EscapeQuitsWhateverTheMode)
{
    State s;
    s.nm = 1;
    s.n = 2;
    const State before = s;
    EXPECT_EQ(controls::on_character(s, program::escape), Outcome::quit);
    EXPECT_EQ(s, before);
}

TEST(Mouse, PointerSetsThePaceInNormalMode)
{
    State s;
    const platform::MouseMove corner = platform::to_user_scale(1023, 767);
    controls::on_mouse_move(s, corner.x, corner.y);
    EXPECT_NEAR(s.k, 13294.417, 0.001);

    const platform::MouseMove p = platform::to_user_scale(888, 664);
    controls::on_mouse_move(s, p.x, p.y);
    EXPECT_NEAR(s.k, 9990.3, 0.05);

    for (const auto& [x, y] : {std::pair{0, 500}, std::pair{700, 0}, std::pair{0, 0}}) {
        const platform::MouseMove edge = platform::to_user_scale(x, y);
        controls::on_mouse_move(s, edge.x, edge.y);
        EXPECT_EQ(s.k, 0.0);
    }
    EXPECT_EQ(s.n, 0) << "normal-mode moves set only the pace";
}

TEST(Mouse, PaceIsComputedInSinglePrecisionXTimes30First)
{
    State s;
    const platform::MouseMove p = platform::to_user_scale(333, 517);
    controls::on_mouse_move(s, p.x, p.y);
    const float expected = (p.x * program::pointer_factor) * p.y;
    EXPECT_EQ(s.k, static_cast<double>(expected));
    EXPECT_NE(s.k, static_cast<double>(p.x) * program::pointer_factor * static_cast<double>(p.y))
        << "computed in double";
}

TEST(Mouse, UserScaleSpansTheSurface)
{
    const platform::MouseMove full = platform::to_user_scale(program::width, program::height);
    EXPECT_EQ(full.x, program::user_width);
    EXPECT_EQ(full.y, program::user_height);
    const platform::MouseMove outside = platform::to_user_scale(-40, 900);
    EXPECT_LT(outside.x, 0.0f);
    EXPECT_GT(outside.y, program::user_height);

    State s;
    controls::on_mouse_move(s, outside.x, outside.y);
    EXPECT_LT(s.k, 0.0) << "a drag outside the window gives a negative pace";
}

TEST(Mouse, StepModeStepsWithVerticalMovement)
{
    State s;
    s.n = 1;
    controls::on_click(s);
    ASSERT_EQ(s.nm, 1);

    controls::on_mouse_move(s, 3.0f, 10.0f);  // first move compares with yyy = 0
    EXPECT_EQ(s.n, 2);
    EXPECT_EQ(s.k, program::step_mode_pace);
    EXPECT_EQ(s.yyy, 10.0f);
    controls::on_mouse_move(s, 3.0f, 9.5f);  // up
    EXPECT_EQ(s.n, -2);
    controls::on_mouse_move(s, 5.0f, 9.5f);  // sideways
    EXPECT_EQ(s.n, 2);
    controls::on_mouse_move(s, 5.0f, 12.0f);  // down
    EXPECT_EQ(s.n, 2);
    EXPECT_EQ(s.yyy, 12.0f);
}

TEST(Mouse, ClickOffRestoresTheRunStateButNotSlotOrPace)
{
    State s;
    s.n = 1;
    s.m = 1;
    s.mm = 0;
    s.l = 7;
    s.k = 500;
    controls::on_click(s);
    EXPECT_EQ(s.n1, 1);
    EXPECT_EQ(s.m1, 1);
    EXPECT_EQ(s.mm1, 0);

    controls::on_mouse_move(s, 1.0f, 4.0f);
    s.n = 0;  // the tick consumed the step
    s.m = 0;
    s.l = 9;
    controls::on_click(s);
    EXPECT_EQ(s.nm, 0);
    EXPECT_EQ(s.n, 1);
    EXPECT_EQ(s.m, 1);
    EXPECT_EQ(s.mm, 0);
    EXPECT_EQ(s.l, 9);
    EXPECT_EQ(s.k, program::step_mode_pace);
    EXPECT_EQ(s.yyy, 4.0f) << "kept for the next time the mode is on";
}

TEST(Mouse, TwoClicksWithoutAMoveChangeNothing)
{
    State s;
    s.n = 3;
    s.mm = 1;
    s.k = 1234;
    State expected = s;
    controls::on_click(s);
    controls::on_click(s);
    expected.n1 = 3;
    expected.mm1 = 1;
    EXPECT_EQ(s, expected);
}

}  // namespace
