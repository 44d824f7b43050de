#include "values.hpp"

#include "common/program.hpp"

#include <cstdio>
#include <sstream>
#include <string_view>

namespace tools {

namespace {

// A JSON string: the text in quotes, with quotes, backslashes and control
// characters escaped.
std::string json_string(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

}  // namespace

std::string program_values()
{
    const auto number = [](double v) {
        char text[32];
        std::snprintf(text, sizeof text, "%.9g", v);
        return std::string(text);
    };
    std::ostringstream out;
    out << "{\n";
    out << "  \"name\": " << json_string(program::name) << ",\n";
    out << "  \"caption\": " << json_string(program::caption) << ",\n";
    out << "  \"width\": " << program::width << ",\n";
    out << "  \"height\": " << program::height << ",\n";
    out << "  \"frame_count\": " << program::frame_count << ",\n";
    out << "  \"user_width\": " << number(program::user_width) << ",\n";
    out << "  \"user_height\": " << number(program::user_height) << ",\n";
    out << "  \"startup_pace\": " << number(program::startup_pace) << ",\n";
    out << "  \"step_mode_pace\": " << number(program::step_mode_pace) << ",\n";
    out << "  \"pointer_factor\": " << number(program::pointer_factor) << ",\n";
    out << "  \"escape\": " << static_cast<unsigned>(program::escape) << ",\n";
    out << "  \"keys\": [";
    const char* separator = "\n";
    for (const program::Binding& b : program::key_table) {
        // All the keys are ASCII characters.
        out << separator << "    {\"character\": " << json_string(std::string(1, static_cast<char>(b.character)))
            << ", \"command\": " << b.command << "}";
        separator = ",\n";
    }
    out << "\n  ]\n}\n";
    return out.str();
}

}  // namespace tools
