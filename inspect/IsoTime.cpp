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
    const std::int64_t dayOfEra = days - era * kDaysPerEra;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;  // 0 is March
    const int day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    const int month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    return {year, month, day};
}

void AppendYear(std::wstring& out, std::int64_t year) {
    if (year >= 0 && year <= 9999) return AppendUnsigned(out, static_cast<std::uint64_t>(year), 4);
    out += year < 0 ? L'-' : L'+';
    // Years that 64-bit microseconds reach are far from the type's limits.
    AppendUnsigned(out, static_cast<std::uint64_t>(year < 0 ? -year : year), 4);
}

void AppendTwoDigits(std::wstring& out, std::int64_t value) { AppendUnsigned(out, static_cast<std::uint64_t>(value), 2); }

}  // namespace

void AppendIsoTime(std::wstring& out, std::int64_t microsecondsSinceEpoch) {
    const std::int64_t seconds = FloorDivide(microsecondsSinceEpoch, kMicrosecondsPerSecond);
    // Not value - seconds * 10^6: for the lowest value that product overflows.
    const std::int64_t remainder = microsecondsSinceEpoch % kMicrosecondsPerSecond;
    const std::int64_t micros = remainder < 0 ? remainder + kMicrosecondsPerSecond : remainder;
    const std::int64_t days = FloorDivide(seconds, kSecondsPerDay);
    const std::int64_t secondOfDay = seconds - days * kSecondsPerDay;
    const CivilDate date = DateOfDay(days);
    AppendYear(out, date.year);
    out += L'-';
    AppendTwoDigits(out, date.month);
    out += L'-';
    AppendTwoDigits(out, date.day);
    out += L'T';
    AppendTwoDigits(out, secondOfDay / 3600);
    out += L':';
    AppendTwoDigits(out, secondOfDay / 60 % 60);
    out += L':';
    AppendTwoDigits(out, secondOfDay % 60);
    out += L'.';
    AppendUnsigned(out, static_cast<std::uint64_t>(micros), 6);
    out += L'Z';
}

}  // namespace inspect
