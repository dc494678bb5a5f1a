// Texts built at run time: zero-terminated UTF-8, each a new allocation of
// exactly its length plus one byte, owned by whoever received it.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <string_view>

namespace nubeko {

class Text {
public:
    Text() = default;  // a missing text: counts as empty wherever a text is taken

    bool present() const { return bytes_ != nullptr; }
    std::size_t size() const { return size_; }
    const char* c_str() const { return present() ? bytes_.get() : ""; }
    std::string_view view() const { return {c_str(), size_}; }
    char* data() { return bytes_.get(); }  // writable bytes of a present text

private:
    struct Free {
        void operator()(char* p) const { std::free(p); }
    };
    Text(char* bytes, std::size_t size) : bytes_(bytes), size_(size) {}
    friend Text allocate_text(std::size_t bytes);

    std::unique_ptr<char[], Free> bytes_;
    std::size_t size_ = 0;
};

// A new text with room for `bytes` bytes, the terminating zero included,
// already zero-terminated at bytes - 1. When the memory cannot be obtained the
// fatal-error stop is taken ("分配 N 字节内存失败!"); it never returns empty-handed.
Text allocate_text(std::size_t bytes);

// The parts one after the other in a new text; a missing part counts as empty.
Text concatenate(std::initializer_list<std::string_view> parts);

// The text-release routine; releasing a missing text does nothing.
inline void release_text(Text& text) { text = Text(); }

}  // namespace nubeko
