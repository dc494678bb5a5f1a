#include "clock/text.hpp"

#include <cstdio>
#include <cstring>

#include "app/shell.hpp"

namespace nubeko {

Text allocate_text(std::size_t bytes) {
    auto* memory = static_cast<char*>(Shell::current().allocate(bytes));
    if (memory == nullptr) {
        char message[64];
        std::snprintf(message, sizeof message, "分配 %zu 字节内存失败!", bytes);
        Shell::current().fatal_error_stop(message);
    }
    memory[bytes - 1] = '\0';
    return Text(memory, bytes - 1);
}

Text concatenate(std::initializer_list<std::string_view> parts) {
    std::size_t total = 1;
    for (const std::string_view part : parts) total += part.size();
    Text result = allocate_text(total);
    char* out = result.data();
    for (const std::string_view part : parts) {
        if (!part.empty()) std::memcpy(out, part.data(), part.size());
        out += part.size();
    }
    return result;
}

}  // namespace nubeko
