// The program's fixed values, pinned; the caption against the key table;
// the text decoders both desktop ports use; the pointer rules every port
// follows.

#include "common/program.hpp"
#include "controls/keyboard.hpp"
#include "platform/characters.hpp"
#include "platform/pointer.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

std::vector<char32_t> joined(const std::u16string& units)
{
    platform::Utf16Joiner joiner;
    std::vector<char32_t> codes;
    for (const char16_t u : units) {
        char32_t out[2];
        const int n = joiner.feed(u, out);
        codes.insert(codes.end(), out, out + n);
    }
    return codes;
}

TEST(Characters, Utf16UnitsJoinIntoCodePoints)
{
    EXPECT_EQ(joined(u"+"), (std::vector<char32_t>{U'+'}));
    EXPECT_EQ(joined(u"\U0001F600."), (std::vector<char32_t>{0x1F600, U'.'}));
    // A high surrogate waits; a unit that is not its pair gives it up.
    EXPECT_EQ(joined(u"\xD83D"), (std::vector<char32_t>{}));
    EXPECT_EQ(joined(u"\xD83D+"), (std::vector<char32_t>{0xFFFD, U'+'}));
    EXPECT_EQ(joined(u"\xD83D\xD83D\xDE00"), (std::vector<char32_t>{0xFFFD, 0x1F600}));
    EXPECT_EQ(joined(u"\xDE00-"), (std::vector<char32_t>{0xFFFD, U'-'}));
}

// What each port's pointer reports become, one after the other.
TEST(Pointer, EveryPortsReportsFollowTheSameRules)
{
    using platform::Event;
    using Step = std::function<std::optional<Event>(platform::PointerRules&)>;
    const auto move = [](int x, int y) { return Step([=](auto& p) { return p.moved(x, y); }); };
    const auto press = [](int count) { return Step([=](auto& p) { return p.pressed(count); }); };
    const Step release = [](auto& p) { return p.released(); };
    const Step leave = [](auto& p) { return p.left(), std::nullopt; };
    const Step lose = [](auto& p) { return p.lost(), std::nullopt; };
    const std::optional<Event> none;
    const struct {
        const char* what;
        Step step;
        std::optional<Event> expected;
    } rows[] = {
        {"a first move", move(512, 384), platform::to_user_scale(512, 384)},
        {"reported where it already was", move(512, 384), none},
        {"and then moved", move(513, 384), platform::to_user_scale(513, 384)},
        {"left of the window while dragging", move(-40, -3), platform::to_user_scale(-40, -3)},
        {"the pointer left", leave, none},
        {"back where it was last told of", move(-40, -3), platform::to_user_scale(-40, -3)},
        {"a release whose press was elsewhere", release, none},
        {"a first press", press(1), none},
        {"its release", release, platform::Click{}},
        {"the second press of a double-click", press(2), platform::DoubleClick{}},
        {"its release", release, none},
        {"a third press in a row", press(3), none},
        {"its release", release, platform::Click{}},
        {"a press not counted", press(0), none},
        {"its release", release, platform::Click{}},
        {"a press whose pointer another window took", press(1), none},
        {"taken", lose, none},
        {"the release that comes here later", release, none},
    };
    platform::PointerRules pointer;
    for (const auto& row : rows) {
        EXPECT_EQ(row.step(pointer), row.expected) << row.what;
    }
}

// The characters the caption names between "Use:" and "ESC", as typed:
// "SpaceBar" is the space, "mouse" is no key.
std::set<char32_t> keys_in_caption()
{
    const std::string_view caption = program::caption;
    const std::size_t from = caption.find("Use:");
    const std::size_t to = caption.find("ESC");
    EXPECT_NE(from, std::string_view::npos);
    EXPECT_NE(to, std::string_view::npos);
    std::set<char32_t> keys;
    std::string_view rest = caption.substr(from + 4, to - from - 4);
    while (!rest.empty()) {
        const std::size_t start = rest.find_first_not_of(' ');
        if (start == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(start);
        const std::string_view word = rest.substr(0, rest.find(' '));
        rest.remove_prefix(word.size());
        if (word == "SpaceBar") {
            keys.insert(U' ');
        } else if (word.size() == 1) {
            keys.insert(static_cast<char32_t>(word[0]));
        } else {
            EXPECT_EQ(word, "mouse") << "the caption names a key the test does not know";
        }
    }
    return keys;
}

TEST(Caption, NamesExactlyTheBoundKeysAndEsc)
{
    std::set<char32_t> bound;
    for (const program::Binding& b : program::key_table) {
        EXPECT_TRUE(bound.insert(b.character).second) << "bound twice: " << static_cast<unsigned>(b.character);
    }
    EXPECT_EQ(keys_in_caption(), bound);
    EXPECT_NE(std::string_view(program::caption).find("ESC to Quit"), std::string_view::npos);
    EXPECT_EQ(program::escape, 27u);
}

// Every other test reads these through their names; here they are held to
// the values the program is made of, so that a slip in one place shows.
TEST(ProgramValues, AreTheProgramsOwn)
{
    EXPECT_STREQ(program::caption, "Vormo KidneyShape    Use: SpaceBar + - / * mouse , .      ESC to Quit");
    EXPECT_STREQ(program::name, "Vormo KidneyShape");
    EXPECT_EQ(program::width, 1024);
    EXPECT_EQ(program::height, 768);
    EXPECT_EQ(program::frame_count, 24);
    EXPECT_EQ(program::user_width, 14.882806f);
    EXPECT_EQ(program::user_height, 29.84375f);
    EXPECT_EQ(program::startup_pace, 1000000.0);
    EXPECT_EQ(program::step_mode_pace, 10000.0);
    EXPECT_EQ(program::pointer_factor, 30.0f);
    EXPECT_EQ(program::escape, 27u);
    const std::vector<std::pair<char32_t, int>> keys = {{U'-', -1}, {U'+', 3}, {U',', 3}, {U'/', -2},
                                                        {U'*', 2},  {U' ', 2}, {U'.', 2}};
    ASSERT_EQ(program::key_table.size(), keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(program::key_table[i].character, keys[i].first) << i;
        EXPECT_EQ(program::key_table[i].command, keys[i].second) << i;
    }
    EXPECT_EQ(program::command::stopped, 0);
    EXPECT_EQ(program::command::run, 1);
}

}  // namespace
