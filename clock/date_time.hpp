// The date-time value and its Chinese text form.
#pragma once

#include "app/platform.hpp"
#include "clock/text.hpp"

namespace nubeko {

// Days from 1899-12-30 00:00:00 local time; the whole part is the day number
// (proleptic Gregorian), the fraction the time of day. Before day 0 the time
// of day is subtracted: -1.25 is 1899-12-29 06:00:00.
using DateTime = double;

inline constexpr DateTime earliest_date_time = -657434.0;  // 0100-01-01
inline constexpr DateTime latest_date_time = 2958465.0;    // 9999-12-31

// Calendar fields to a value; time of day to the whole second.
DateTime to_date_time(const LocalTime& fields);

// A value (clamped, rounded to the nearest second) to calendar fields.
LocalTime split_date_time(DateTime value);

// The machine's local date and time, to the whole second.
DateTime current_date_time(const Platform& platform);

// "2016年1月22日15时32分25秒", with the time part shortened on a full minute,
// a full hour and at midnight. A new text of exactly its length plus one.
Text date_time_to_text(DateTime value);

}  // namespace nubeko
