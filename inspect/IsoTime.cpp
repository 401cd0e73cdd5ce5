#include "inspect/IsoTime.h"

#include "inspect/Numbers.h"

namespace inspect {
namespace {

constexpr std::int64_t kMicrosecondsPerSecond = 1000000;
constexpr std::int64_t kSecondsPerDay = 86400;
// Days of one 400-year cycle of the Gregorian calendar.
constexpr std::int64_t kDaysPerEra = 146097;

struct CivilDate {
    std::int64_t year;
    int month;
    int day;
};

// Rounds toward negative infinity, so that times before 1970 fall on the
// day and second they belong to.
std::int64_t FloorDivide(std::int64_t value, std::int64_t divisor) {
    const std::int64_t quotient = value / divisor;
    return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

// The Gregorian date of a day counted from 1970-01-01, with years that start
// on March 1 inside the computation so that the leap day comes last.
CivilDate DateOfDay(std::int64_t daysSinceEpoch) {
    const std::int64_t days = daysSinceEpoch + 719468;  // from 0000-03-01
    const std::int64_t era = FloorDivide(days, kDaysPerEra);
    // Within an era every value is small and not negative: 32-bit unsigned
    // arithmetic, whose divisions by constants cost least.
    const auto dayOfEra = static_cast<std::uint32_t>(days - era * kDaysPerEra);
    const std::uint32_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::uint32_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::uint32_t shiftedMonth = (5 * dayOfYear + 2) / 153;  // 0 is March
    const auto day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    const auto month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    return {year, month, day};
}

char* PutYear(char* out, std::int64_t year) {
    if (year >= 0 && year <= 9999) {
        out = PutTwoDigits(out, static_cast<unsigned>(year / 100));
        return PutTwoDigits(out, static_cast<unsigned>(year % 100));
    }
    *out++ = year < 0 ? '-' : '+';
    // Years that 64-bit microseconds reach are far from the type's limits.
    return PutUnsigned(out, static_cast<std::uint64_t>(year < 0 ? -year : year), 4);
}

// Writes separator, then value in two digits.
char* PutField(char* out, char separator, unsigned value) {
    *out++ = separator;
    return PutTwoDigits(out, value);
}

}  // namespace

char* PutIsoTime(char* out, std::int64_t microsecondsSinceEpoch) {
    const std::int64_t seconds = FloorDivide(microsecondsSinceEpoch, kMicrosecondsPerSecond);
    // Not value - seconds * 10^6: for the lowest value that product overflows.
    const std::int64_t remainder = microsecondsSinceEpoch % kMicrosecondsPerSecond;
    const std::int64_t micros = remainder < 0 ? remainder + kMicrosecondsPerSecond : remainder;
    const std::int64_t days = FloorDivide(seconds, kSecondsPerDay);
    // Both below a million: 32-bit arithmetic from here.
    const auto secondOfDay = static_cast<std::uint32_t>(seconds - days * kSecondsPerDay);
    const auto micro = static_cast<std::uint32_t>(micros);
    const CivilDate date = DateOfDay(days);
    out = PutYear(out, date.year);
    out = PutField(out, '-', static_cast<unsigned>(date.month));
    out = PutField(out, '-', static_cast<unsigned>(date.day));
    out = PutField(out, 'T', secondOfDay / 3600);
    out = PutField(out, ':', secondOfDay / 60 % 60);
    out = PutField(out, ':', secondOfDay % 60);
    out = PutField(out, '.', micro / 10000);
    out = PutTwoDigits(out, micro / 100 % 100);
    out = PutTwoDigits(out, micro % 100);
    *out++ = 'Z';
    return out;
}

}  // namespace inspect
