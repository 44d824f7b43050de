#include "system_text.hpp"

#include <algorithm>

namespace platform::win32 {

std::string narrow(std::wstring_view text)
{
    if (text.empty()) {
        return {};
    }
    const int units = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(std::max(n, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), units, out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring widen(std::string_view text)
{
    if (text.empty()) {
        return {};
    }
    const int bytes = static_cast<int>(text.size());
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), bytes, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(std::max(n, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), bytes, out.data(), n);
    return out;
}

std::string system_message(DWORD code)
{
    // Asked in UTF-16: the user's language may be beyond a narrow code page.
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string line = text ? narrow(text) : std::string();
    LocalFree(text);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == '.' || line.back() == ' ')) {
        line.pop_back();
    }
    return line;
}

}  // namespace platform::win32
