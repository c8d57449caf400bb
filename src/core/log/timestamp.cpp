#include "core/log/timestamp.hpp"

#include <cstdint>

#include "core/unicode/text_forms.hpp"

namespace vorna::log {

namespace {

struct CivilDate {
    std::int64_t year;
    unsigned month;  // 1 to 12
    unsigned day;    // 1 to 31
};

// The date `days` after 1970-01-01 on the proleptic Gregorian calendar, for
// any day count whose magnitude is below 2^62.
constexpr CivilDate civil_from_days(std::int64_t days) noexcept {
    // Count from 0000-03-01 so that the leap day ends each year, in eras of
    // 400 years (146097 days) that repeat exactly.
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto day_of_era = static_cast<unsigned>(z - era * 146097);  // [0, 146096]
    const unsigned year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;  // [0, 399]
    const unsigned day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);  // [0, 365]
    const unsigned month_from_march = (5 * day_of_year + 2) / 153;  // [0, 11], March first
    const unsigned day = day_of_year - (153 * month_from_march + 2) / 5 + 1;
    const unsigned month = month_from_march < 10 ? month_from_march + 3 : month_from_march - 9;
    const std::int64_t year = static_cast<std::int64_t>(year_of_era) + era * 400 + (month <= 2 ? 1 : 0);
    return {year, month, day};
}

static_assert(civil_from_days(0).year == 1970 && civil_from_days(0).month == 1 && civil_from_days(0).day == 1);
static_assert(civil_from_days(-1).year == 1969 && civil_from_days(-1).month == 12 && civil_from_days(-1).day == 31);

// Appends `n` in decimal, zero-padded to `width` digits, after its sign.
void append_padded(std::string& out, std::int64_t n, std::size_t width) {
    auto magnitude = static_cast<std::uint64_t>(n);
    if (n < 0) {
        out.push_back('-');
        magnitude = 0 - magnitude;
    }
    const std::size_t digits = decimal_size(magnitude);
    if (digits < width) out.append(width - digits, '0');
    append_decimal(out, magnitude);
}

}  // namespace

void append_timestamp(std::string& out, std::optional<Timestamp> time) {
    if (!time || time->nanoseconds > 999'999'999) {
        out.append("<unknown time>");
        return;
    }
    // Split into whole days and the second of the day, rounding towards the
    // past so that instants before 1970 get a non-negative second of day.
    std::int64_t days = time->seconds / 86400;
    std::int64_t second_of_day = time->seconds % 86400;
    if (second_of_day < 0) {
        second_of_day += 86400;
        --days;
    }
    const CivilDate date = civil_from_days(days);

    if (date.year > 9999) out.push_back('+');
    append_padded(out, date.year, 4);
    out.push_back('-');
    append_padded(out, date.month, 2);
    out.push_back('-');
    append_padded(out, date.day, 2);
    out.push_back('T');
    append_padded(out, second_of_day / 3600, 2);
    out.push_back(':');
    append_padded(out, second_of_day / 60 % 60, 2);
    out.push_back(':');
    append_padded(out, second_of_day % 60, 2);
    out.push_back('.');
    append_padded(out, time->nanoseconds / 1000, 6);
    out.push_back('Z');
}

}  // namespace vorna::log
