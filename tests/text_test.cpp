#include <gtest/gtest.h>

#include "clock/text.hpp"
#include "tests/program_fixture.hpp"

namespace nubeko {
namespace {

using testing::ProcessEnded;
using testing::ProgramFixture;

class Texts : public ProgramFixture {};

TEST_F(Texts, ConcatenateJoinsPartsWithMissingAndEmptyOnesAsNothing) {
    const Text missing;
    const Text time = concatenate({"15时"});
    struct Case {
        std::initializer_list<std::string_view> parts;
        std::string_view joined;
    };
    const Case cases[] = {
        {{"时间：", time.view()}, "时间：15时"},
        {{missing.view(), "a", missing.view()}, "a"},
        {{"", "b", ""}, "b"},
        {{missing.view(), ""}, ""},
        {{}, ""},
    };
    for (const Case& c : cases) {
        std::vector<std::size_t> asked;
        allocation_sizes = &asked;
        const Text joined = concatenate(c.parts);
        EXPECT_TRUE(joined.present()) << "always a new text, even when empty";
        EXPECT_EQ(joined.view(), c.joined);
        EXPECT_EQ(joined.c_str()[joined.size()], '\0');
        EXPECT_EQ(asked, std::vector<std::size_t>{c.joined.size() + 1});
    }
    EXPECT_FALSE(missing.present());
    EXPECT_STREQ(missing.c_str(), "");
}

TEST_F(Texts, ReleaseLeavesAMissingText) {
    Text text = concatenate({"x"});
    release_text(text);
    EXPECT_FALSE(text.present());
    release_text(text);  // releasing a missing text is harmless
    EXPECT_EQ(text.view(), "");
}

TEST_F(Texts, MemoryThatCannotBeObtainedTakesTheFatalStopWithTheBytesAsked) {
    fail_allocation_of = 23;
    std::optional<Text> result;
    try {
        result = concatenate({"0123456789", "abcdefghijkl"});  // 22 bytes and the zero
        FAIL() << "the fatal-error stop never returns";
    } catch (const ProcessEnded& stop) {
        EXPECT_EQ(stop.status, -1);
    }
    EXPECT_FALSE(result.has_value());
    EXPECT_EQ(platform.entries_starting("error_box"),
              std::vector<std::string>{"error_box 错误|运行时出错!\r\n\r\n错误信息：分配 23 字节内存失败!\r\n"});
}

}  // namespace
}  // namespace nubeko
