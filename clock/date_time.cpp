#include "clock/date_time.hpp"

#include <cmath>
#include <cstring>
#include <string_view>

namespace nubeko {
namespace {

constexpr long long unix_epoch_day = 25569;  // 1970-01-01
constexpr double seconds_per_day = 86400.0;
constexpr double half_second = 5.787037037037037e-6;  // in days

// Days since 1970-01-01 of a proleptic Gregorian date.
constexpr long long days_from_civil(long long year, long long month, long long day) {
    year -= month <= 2 ? 1 : 0;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long year_of_era = year - era * 400;
    const long long day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const long long day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

struct CivilDate {
    int year;
    int month;
    int day;
};

constexpr CivilDate civil_from_days(long long days) {
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long day_of_era = days - era * 146097;
    const long long year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const long long day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const long long shifted_month = (5 * day_of_year + 2) / 153;
    const long long day = day_of_year - (153 * shifted_month + 2) / 5 + 1;
    const long long month = shifted_month < 10 ? shifted_month + 3 : shifted_month - 9;
    const long long year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
    return {static_cast<int>(year), static_cast<int>(month), static_cast<int>(day)};
}

char* put_number(char* out, int number) {
    char digits[12];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number > 0);
    while (count > 0) *out++ = digits[--count];
    return out;
}

char* put(char* out, std::string_view unit) {
    std::memcpy(out, unit.data(), unit.size());
    return out + unit.size();
}

}  // namespace

DateTime to_date_time(const LocalTime& t) {
    const auto day_number = static_cast<double>(days_from_civil(t.year, t.month, t.day) + unix_epoch_day);
    const double fraction = (3600.0 * t.hour + 60.0 * t.minute + t.second) / seconds_per_day;
    return day_number < 0 ? day_number - fraction : day_number + fraction;
}

LocalTime split_date_time(DateTime value) {
    if (!(value <= latest_date_time)) value = latest_date_time;  // NaN too
    if (value < earliest_date_time) value = earliest_date_time;

    const double r = value > 0 ? value + half_second : value - half_second;
    const auto day_number = static_cast<long long>(r);  // toward zero
    const double magnitude = std::fabs(r);
    const auto seconds = static_cast<int>((magnitude - std::floor(magnitude)) * seconds_per_day);

    const CivilDate date = civil_from_days(day_number - unix_epoch_day);
    return {date.year, date.month, date.day, seconds / 3600, seconds / 60 % 60, seconds % 60};
}

DateTime current_date_time(const Platform& platform) { return to_date_time(platform.local_time()); }

Text date_time_to_text(DateTime value) {
    const LocalTime t = split_date_time(value);
    char buffer[48];  // the longest form is 31 bytes in UTF-8
    char* out = buffer;
    out = put(put_number(out, t.year), "年");
    out = put(put_number(out, t.month), "月");
    out = put(put_number(out, t.day), "日");
    if (t.hour != 0 || t.minute != 0 || t.second != 0) out = put(put_number(out, t.hour), "时");
    if (t.minute != 0 || t.second != 0) out = put(put_number(out, t.minute), "分");
    if (t.second != 0) out = put(put_number(out, t.second), "秒");

    const auto length = static_cast<std::size_t>(out - buffer);
    Text text = allocate_text(length + 1);
    std::memcpy(text.data(), buffer, length);
    return text;
}

}  // namespace nubeko
