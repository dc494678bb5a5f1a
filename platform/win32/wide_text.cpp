#include "platform/win32/wide_text.hpp"

#include <windows.h>

namespace nubeko::win32 {

std::wstring to_wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int length = static_cast<int>(utf8.size());
    const int wide_length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wide_length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(), wide_length);
    return wide;
}

}  // namespace nubeko::win32
