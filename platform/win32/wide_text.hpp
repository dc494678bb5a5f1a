// Texts cross the seam as UTF-8; Windows takes them as UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace nubeko::win32 {

std::wstring to_wide(std::string_view utf8);

}  // namespace nubeko::win32
