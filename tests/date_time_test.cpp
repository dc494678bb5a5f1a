#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "clock/date_time.hpp"
#include "tests/program_fixture.hpp"

namespace nubeko {
namespace {

using testing::ProgramFixture;

class DateTimeText : public ProgramFixture {};

struct TextCase {
    double value;
    const char* text;
};

TEST_F(DateTimeText, FormsOfWorkedExamplesAndEdges) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const TextCase cases[] = {
        {42391.0 + (15 * 3600 + 32 * 60 + 25) / 86400.0, "2016年1月22日15时32分25秒"},
        {42391.0 + (15 * 3600 + 32 * 60) / 86400.0, "2016年1月22日15时32分"},
        {42391.625, "2016年1月22日15时"},
        {42391.0, "2016年1月22日"},
        {42391.0 + 5 / 86400.0, "2016年1月22日0时0分5秒"},
        {42391.0 + 300 / 86400.0, "2016年1月22日0时5分"},
        {42391.0 + (9 * 3600 + 5 * 60 + 7) / 86400.0, "2016年1月22日9时5分7秒"},
        {36585.0 + 86399 / 86400.0, "2000年2月29日23时59分59秒"},
        {36585.0, "2000年2月29日"},
        {25569.0, "1970年1月1日"},
        // Rounding to the nearest second, with the carry into the next day.
        {42391.99999999, "2016年1月23日"},
        {42391.99999, "2016年1月22日23时59分59秒"},
        // The clamps.
        {2958465.0, "9999年12月31日"},
        {2958465.5, "9999年12月31日"},
        {1e9, "9999年12月31日"},
        {nan, "9999年12月31日"},
        {inf, "9999年12月31日"},
        {-657434.0, "100年1月1日"},
        {-657434.5, "100年1月1日"},
        {-1e9, "100年1月1日"},
        {-inf, "100年1月1日"},
        // Gregorian from the start: 1900 has no 29 February.
        {60.0, "1900年2月28日"},
        {61.0, "1900年3月1日"},
        // Before day 0 the time of day is subtracted.
        {-1.25, "1899年12月29日6时"},
        {-0.5, "1899年12月30日12时"},
        {0.0, "1899年12月30日"},
        {-657434.0 + 365.0, "101年1月1日"},  // 100 is no leap year
        {2958465.0 - 1.0 + 86399 / 86400.0, "9999年12月30日23时59分59秒"},
    };
    for (const TextCase& c : cases) {
        const Text text = date_time_to_text(c.value);
        EXPECT_EQ(text.view(), c.text) << "value " << c.value;
        EXPECT_EQ(std::strlen(text.c_str()), text.size()) << "value " << c.value;
    }
}

TEST_F(DateTimeText, AllocatesExactlyItsLengthPlusOne) {
    std::vector<std::size_t> asked;
    allocation_sizes = &asked;
    const Text text = date_time_to_text(36585.0 + 86399 / 86400.0);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], text.size() + 1);
}

struct ValueCase {
    LocalTime fields;
    double value;
};

TEST(DateTimeValue, ReferencePoints) {
    const ValueCase cases[] = {
        {{1899, 12, 30, 0, 0, 0}, 0.0},
        {{1899, 12, 31, 0, 0, 0}, 1.0},
        {{1900, 1, 1, 0, 0, 0}, 2.0},
        {{1900, 2, 28, 0, 0, 0}, 60.0},
        {{1900, 3, 1, 0, 0, 0}, 61.0},
        {{1970, 1, 1, 0, 0, 0}, 25569.0},
        {{2000, 2, 29, 0, 0, 0}, 36585.0},
        {{2016, 1, 22, 15, 0, 0}, 42391.625},
        {{1899, 12, 29, 6, 0, 0}, -1.25},
        {{100, 1, 1, 0, 0, 0}, -657434.0},
        {{9999, 12, 31, 0, 0, 0}, 2958465.0},
    };
    for (const ValueCase& c : cases)
        EXPECT_DOUBLE_EQ(to_date_time(c.fields), c.value) << c.fields.year << "-" << c.fields.month << "-"
                                                         << c.fields.day;
}

TEST(DateTimeValue, CurrentDateTimeSplitsBackToTheFieldsRead) {
    // Every second of two days (one of them a leap day), a stride of years,
    // and the far side of 2038.
    std::vector<LocalTime> moments;
    for (int s = 0; s < 86400; s += 1) moments.push_back({2000, 2, 29, s / 3600, s / 60 % 60, s % 60});
    for (int s = 0; s < 86400; s += 7) moments.push_back({2038, 1, 19, s / 3600, s / 60 % 60, s % 60});
    for (int year = 1901; year <= 9999; year += 37) moments.push_back({year, 12, 31, 23, 59, 59});
    moments.push_back({2106, 2, 7, 6, 28, 16});

    testing::RecordingPlatform platform;
    for (const LocalTime& t : moments) {
        platform.now = t;
        const LocalTime back = split_date_time(current_date_time(platform));
        ASSERT_TRUE(back.year == t.year && back.month == t.month && back.day == t.day && back.hour == t.hour &&
                    back.minute == t.minute && back.second == t.second)
            << t.year << "-" << t.month << "-" << t.day << " " << t.hour << ":" << t.minute << ":" << t.second;
    }
}

}  // namespace
}  // namespace nubeko
