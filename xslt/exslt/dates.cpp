// EXSLT dates and times (http://exslt.org/dates-and-times). Date/time strings are the
// lexical forms of XML Schema Part 2 (xs:dateTime, xs:date, xs:time, xs:gYearMonth,
// xs:gYear, xs:gMonthDay, xs:gMonth, xs:gDay) and durations those of xs:duration. A string
// in no form a function accepts gives NaN or the empty string, as EXSLT says; nothing is an
// error. The calendar is the proleptic Gregorian one; years are held astronomically (year
// 0 is 1 BCE, which is written -0001) and times to the nanosecond, so that arithmetic on
// them is exact. Without an argument the functions read the system clock in local time.
#include "tree/node.h"
#include "xpath/runtime/number_format.h"
#include "xslt/exslt/exslt.h"
#include "xslt/exslt/exslt_impl.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace ovra {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Times in nanoseconds: 128 bits hold any span of years a date string can write.
using Nanos = __int128;
constexpr Nanos kNanosPerSecond = 1'000'000'000;
constexpr Nanos kNanosPerMinute = 60 * kNanosPerSecond;
constexpr Nanos kNanosPerHour = 60 * kNanosPerMinute;
constexpr Nanos kNanosPerDay = 24 * kNanosPerHour;
// Years beyond this many digits are refused: their day numbers would not fit.
constexpr std::size_t kMaxYearDigits = 15;

template <class T>
T floorDiv(T a, T b) {
  T quotient = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? quotient - 1 : quotient;
}

template <class T>
T floorMod(T a, T b) {
  return a - floorDiv(a, b) * b;
}

// ---- The calendar ----

bool isLeapYear(std::int64_t year) {
  return floorMod<std::int64_t>(year, 4) == 0 &&
         (floorMod<std::int64_t>(year, 100) != 0 || floorMod<std::int64_t>(year, 400) == 0);
}

int daysInMonth(std::int64_t year, int month) {
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// Days since 1970-01-01 of a date, and back (the civil-from-days algorithm of Howard
// Hinnant's date library, in eras of 400 years).
std::int64_t dayNumber(std::int64_t year, int month, int day) {
  year -= month <= 2;
  std::int64_t era = floorDiv<std::int64_t>(year, 400);
  std::int64_t yearOfEra = year - era * 400;
  std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

void civilFromDays(std::int64_t days, std::int64_t& year, int& month, int& day) {
  days += 719468;
  std::int64_t era = floorDiv<std::int64_t>(days, 146097);
  std::int64_t dayOfEra = days - era * 146097;
  std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  std::int64_t shifted = (5 * dayOfYear + 2) / 153;
  day = int(dayOfYear - (153 * shifted + 2) / 5 + 1);
  month = int(shifted < 10 ? shifted + 3 : shifted - 9);
  year = yearOfEra + era * 400 + (month <= 2);
}

// 1 for Sunday to 7 for Saturday; 1970-01-01 was a Thursday.
int dayOfWeek(std::int64_t days) {
  return int(floorMod<std::int64_t>(days + 4, 7)) + 1;
}

// ---- Date/time values ----

// The forms of XML Schema Part 2 that date/time strings take, each a bit so that a
// function can name the set it accepts.
enum class DateKind : std::uint8_t {
  DateTime = 1,
  Date = 2,
  Time = 4,
  GYearMonth = 8,
  GYear = 16,
  GMonthDay = 32,
  GMonth = 64,
  GDay = 128,
};

constexpr unsigned operator|(DateKind a, DateKind b) {
  return unsigned(a) | unsigned(b);
}
constexpr unsigned operator|(unsigned a, DateKind b) {
  return a | unsigned(b);
}

// The forms with a year, in the order of their precision.
constexpr unsigned kYearKinds =
    DateKind::DateTime | DateKind::Date | DateKind::GYearMonth | DateKind::GYear;

struct DateValue {
  DateKind kind = DateKind::DateTime;
  std::int64_t year = 1970;  // astronomical
  int month = 1;
  int day = 1;
  Nanos time = 0;  // since midnight
  bool hasZone = false;
  int zoneMinutes = 0;  // east of UTC

  bool has(unsigned kinds) const { return (unsigned(kind) & kinds) != 0; }
  // The instant on a line of nanoseconds since 1970-01-01T00:00:00Z; without a zone, as
  // if in UTC.
  Nanos instant() const {
    return Nanos(dayNumber(year, month, day)) * kNanosPerDay + time -
           Nanos(zoneMinutes) * kNanosPerMinute;
  }
};

// A reader over one date/time or duration string.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  bool atEnd() const { return at_ == text_.size(); }
  char peek(std::size_t ahead = 0) const {
    return at_ + ahead < text_.size() ? text_[at_ + ahead] : '\0';
  }
  bool take(char c) {
    if (peek() != c)
      return false;
    ++at_;
    return true;
  }
  bool take(std::string_view word) {
    if (text_.substr(at_).substr(0, word.size()) != word)
      return false;
    at_ += word.size();
    return true;
  }
  static bool isDigit(char c) { return c >= '0' && c <= '9'; }
  // Exactly count digits.
  std::optional<int> digits(std::size_t count) {
    int value = 0;
    for (std::size_t i = 0; i < count; ++i) {
      if (!isDigit(peek(i)))
        return std::nullopt;
      value = value * 10 + (peek(i) - '0');
    }
    at_ += count;
    return value;
  }
  // One or more digits, at most maxDigits of them.
  std::optional<std::int64_t> number(std::size_t maxDigits, std::size_t* count = nullptr) {
    std::size_t length = 0;
    std::int64_t value = 0;
    while (isDigit(peek(length))) {
      if (length == maxDigits)
        return std::nullopt;
      value = value * 10 + (peek(length) - '0');
      ++length;
    }
    if (length == 0)
      return std::nullopt;
    at_ += length;
    if (count != nullptr)
      *count = length;
    return value;
  }
  // Digits after a decimal point, as nanoseconds; digits beyond the ninth are dropped.
  Nanos fraction() {
    Nanos value = 0;
    Nanos scale = kNanosPerSecond;
    while (isDigit(peek())) {
      scale /= 10;
      value += (peek() - '0') * scale;
      ++at_;
    }
    return value;
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

// Z, or a sign and hh:mm with at most 14 hours.
bool scanZone(Scanner& in, DateValue& value) {
  if (in.take('Z')) {
    value.hasZone = true;
    return true;
  }
  int sign = in.take('+') ? 1 : in.take('-') ? -1 : 0;
  if (sign == 0)
    return in.atEnd();
  std::optional<int> hours = in.digits(2);
  if (!hours || !in.take(':'))
    return false;
  std::optional<int> minutes = in.digits(2);
  if (!minutes || *hours > 14 || *minutes > 59)
    return false;
  value.hasZone = true;
  value.zoneMinutes = sign * (*hours * 60 + *minutes);
  return true;
}

// hh:mm:ss with an optional fraction; 24:00:00 and leap seconds are refused.
bool scanTime(Scanner& in, DateValue& value) {
  std::optional<int> hours = in.digits(2);
  if (!hours || !in.take(':'))
    return false;
  std::optional<int> minutes = in.digits(2);
  if (!minutes || !in.take(':'))
    return false;
  std::optional<int> seconds = in.digits(2);
  if (!seconds || *hours > 23 || *minutes > 59 || *seconds > 59)
    return false;
  Nanos fraction = 0;
  if (in.take('.')) {
    if (!Scanner::isDigit(in.peek()))
      return false;
    fraction = in.fraction();
  }
  value.time =
      *hours * kNanosPerHour + *minutes * kNanosPerMinute + *seconds * kNanosPerSecond + fraction;
  return true;
}

// --MM-DD, --MM--, --MM or ---DD, each with an optional zone.
std::optional<DateValue> parseMonthOrDay(Scanner& in) {
  DateValue value;
  if (in.take("---")) {
    std::optional<int> day = in.digits(2);
    if (!day || *day < 1 || *day > 31)
      return std::nullopt;
    value.kind = DateKind::GDay;
    value.day = *day;
  } else {
    in.take("--");
    std::optional<int> month = in.digits(2);
    if (!month || *month < 1 || *month > 12)
      return std::nullopt;
    value.month = *month;
    value.kind = DateKind::GMonth;
    if (in.take("--")) {
      // The gMonth form of XML Schema's first edition.
    } else if (in.peek() == '-' && Scanner::isDigit(in.peek(1)) && Scanner::isDigit(in.peek(2)) &&
               in.peek(3) != ':') {
      in.take('-');
      std::optional<int> day = in.digits(2);
      // February 29 is a day of some years, so a day of the month in general.
      if (!day || *day < 1 || *day > daysInMonth(2000, *month))
        return std::nullopt;
      value.kind = DateKind::GMonthDay;
      value.day = *day;
    }
  }
  if (!scanZone(in, value) || !in.atEnd())
    return std::nullopt;
  return value;
}

// Any of the forms, or nothing when text is in none of them.
std::optional<DateValue> parseDateTime(std::string_view text) {
  Scanner in(text);
  if (text.starts_with("--"))
    return parseMonthOrDay(in);
  DateValue value;
  if (text.size() > 2 && text[2] == ':') {
    value.kind = DateKind::Time;
    if (!scanTime(in, value) || !scanZone(in, value) || !in.atEnd())
      return std::nullopt;
    return value;
  }
  bool negative = in.take('-');
  std::size_t yearDigits = 0;
  std::optional<std::int64_t> year = in.number(kMaxYearDigits, &yearDigits);
  // Four digits at least, and no leading zero beyond them; there is no year 0.
  if (!year || yearDigits < 4 || (yearDigits > 4 && text[negative ? 1 : 0] == '0') || *year == 0)
    return std::nullopt;
  value.year = negative ? 1 - *year : *year;
  value.kind = DateKind::GYear;
  if (in.take('-')) {
    std::optional<int> month = in.digits(2);
    if (!month || *month < 1 || *month > 12)
      return std::nullopt;
    value.month = *month;
    value.kind = DateKind::GYearMonth;
    if (in.peek() == '-' && Scanner::isDigit(in.peek(1))) {
      in.take('-');
      std::optional<int> day = in.digits(2);
      if (!day || *day < 1 || *day > daysInMonth(value.year, value.month))
        return std::nullopt;
      value.day = *day;
      value.kind = DateKind::Date;
      if (in.take('T')) {
        if (!scanTime(in, value))
          return std::nullopt;
        value.kind = DateKind::DateTime;
      }
    }
  }
  if (!scanZone(in, value) || !in.atEnd())
    return std::nullopt;
  return value;
}

// ---- Durations ----

// A duration as XML Schema adds it: months, and everything from days down as one span.
// Both in 128 bits, so that no sum of durations of 15 digits a part overflows.
struct Duration {
  Nanos months = 0;
  Nanos nanos = 0;

  bool isMixed() const { return (months < 0 && nanos > 0) || (months > 0 && nanos < 0); }
};

// -?PnYnMnDTnHnMnS: at least one part, a T only before a time part, a fraction only in
// the seconds.
std::optional<Duration> parseDuration(std::string_view text) {
  Scanner in(text);
  bool negative = in.take('-');
  if (!in.take('P'))
    return std::nullopt;
  Duration duration;
  bool anyPart = false;
  constexpr std::size_t kMaxDigits = 15;
  auto part = [&](char designator, auto apply) {
    Scanner probe = in;
    std::optional<std::int64_t> value = probe.number(kMaxDigits);
    if (!value || !probe.take(designator))
      return;
    in = probe;
    apply(*value);
    anyPart = true;
  };
  part('Y', [&](std::int64_t n) { duration.months += Nanos(n) * 12; });
  part('M', [&](std::int64_t n) { duration.months += n; });
  part('D', [&](std::int64_t n) { duration.nanos += n * kNanosPerDay; });
  if (in.take('T')) {
    bool anyTimePart = false;
    auto timePart = [&](char designator, Nanos unit) {
      Scanner probe = in;
      std::optional<std::int64_t> value = probe.number(kMaxDigits);
      if (!value || !probe.take(designator))
        return;
      in = probe;
      duration.nanos += *value * unit;
      anyTimePart = true;
    };
    timePart('H', kNanosPerHour);
    timePart('M', kNanosPerMinute);
    // Seconds: digits, a point, or both.
    Scanner probe = in;
    std::optional<std::int64_t> whole = probe.number(kMaxDigits);
    Nanos fraction = 0;
    bool point = probe.take('.');
    if (point)
      fraction = probe.fraction();
    if ((whole || point) && probe.take('S')) {
      in = probe;
      duration.nanos += whole.value_or(0) * kNanosPerSecond + fraction;
      anyTimePart = true;
    }
    if (!anyTimePart)
      return std::nullopt;
    anyPart = true;
  }
  if (!anyPart || !in.atEnd())
    return std::nullopt;
  if (negative) {
    duration.months = -duration.months;
    duration.nanos = -duration.nanos;
  }
  return duration;
}

// ---- Writing ----

std::string decimal(Nanos value) {
  if (value == 0)
    return "0";
  bool negative = value < 0;
  std::string digits;
  for (; value != 0; value /= 10)
    digits += char('0' + int(negative ? -(value % 10) : value % 10));
  if (negative)
    digits += '-';
  return std::string(digits.rbegin(), digits.rend());
}

std::string twoDigits(int value) {
  return std::string{char('0' + value / 10), char('0' + value % 10)};
}

// Seconds with the fraction they have, without trailing zeros; at least two digits
// before the point when padded.
std::string secondsText(Nanos nanos, bool padded) {
  std::string text;
  if (padded && nanos < 10 * kNanosPerSecond)
    text += '0';
  text += decimal(nanos / kNanosPerSecond);
  if (Nanos fraction = nanos % kNanosPerSecond; fraction != 0) {
    std::string digits = decimal(fraction);
    text += '.';
    text.append(9 - digits.size(), '0');
    text += digits.substr(0, digits.find_last_not_of('0') + 1);
  }
  return text;
}

std::string yearText(std::int64_t year) {
  std::string digits = std::to_string(year > 0 ? year : 1 - year);
  std::string text = year > 0 ? "" : "-";
  if (digits.size() < 4)
    text.append(4 - digits.size(), '0');
  return text + digits;
}

// The form value.kind names, from the fields it has.
std::string formatDateTime(const DateValue& value) {
  std::string text;
  if (value.has(kYearKinds))
    text += yearText(value.year);
  if (value.has(DateKind::DateTime | DateKind::Date | DateKind::GYearMonth))
    text += '-' + twoDigits(value.month);
  if (value.has(DateKind::DateTime | DateKind::Date))
    text += '-' + twoDigits(value.day);
  if (value.kind == DateKind::DateTime)
    text += 'T';
  if (value.has(DateKind::DateTime | DateKind::Time)) {
    int hours = int(value.time / kNanosPerHour);
    int minutes = int(value.time / kNanosPerMinute % 60);
    text += twoDigits(hours) + ":" + twoDigits(minutes) + ":" +
            secondsText(value.time % kNanosPerMinute, true);
  }
  if (value.has(DateKind::GMonthDay | DateKind::GMonth))
    text += "--" + twoDigits(value.month);
  if (value.kind == DateKind::GMonthDay)
    text += '-' + twoDigits(value.day);
  if (value.kind == DateKind::GMonth)
    text += "--";
  if (value.kind == DateKind::GDay)
    text += "---" + twoDigits(value.day);
  if (value.hasZone) {
    if (value.zoneMinutes == 0) {
      text += 'Z';
    } else {
      int minutes = value.zoneMinutes < 0 ? -value.zoneMinutes : value.zoneMinutes;
      text += value.zoneMinutes < 0 ? '-' : '+';
      text += twoDigits(minutes / 60) + ":" + twoDigits(minutes % 60);
    }
  }
  return text;
}

// PnYnMnDTnHnMnS with the parts that are not zero, P0D for nothing; the caller has
// refused durations whose months and span differ in sign.
std::string formatDuration(const Duration& duration) {
  bool negative = duration.months < 0 || duration.nanos < 0;
  Nanos months = duration.months < 0 ? -duration.months : duration.months;
  Nanos nanos = duration.nanos < 0 ? -duration.nanos : duration.nanos;
  std::string text = negative ? "-P" : "P";
  if (months >= 12)
    text += decimal(months / 12) + "Y";
  if (months % 12 != 0)
    text += decimal(months % 12) + "M";
  if (nanos >= kNanosPerDay)
    text += decimal(nanos / kNanosPerDay) + "D";
  if (Nanos time = nanos % kNanosPerDay; time != 0) {
    text += 'T';
    if (time >= kNanosPerHour)
      text += decimal(time / kNanosPerHour) + "H";
    if (time / kNanosPerMinute % 60 != 0)
      text += decimal(time / kNanosPerMinute % 60) + "M";
    if (time % kNanosPerMinute != 0)
      text += secondsText(time % kNanosPerMinute, false) + "S";
  }
  if (text.size() == (negative ? 2u : 1u))
    text = "P0D";
  return text;
}

double secondsOf(Nanos nanos) {
  // Whole and fraction apart, so that a fraction such as .12 reads as the double nearest it.
  return double(nanos / kNanosPerSecond) + double(nanos % kNanosPerSecond) / 1e9;
}

// ---- The clock ----

// Now, in local time with the local zone, to the second.
DateValue currentDateTime() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  DateValue value;
  value.kind = DateKind::DateTime;
  value.year = local.tm_year + 1900;
  value.month = local.tm_mon + 1;
  value.day = local.tm_mday;
  value.time = local.tm_hour * kNanosPerHour + local.tm_min * kNanosPerMinute +
               local.tm_sec * kNanosPerSecond;
  value.hasZone = true;
  value.zoneMinutes = int(local.tm_gmtoff / 60);
  return value;
}

// ---- Reading arguments ----

// The date/time the optional first argument gives (now without one) when it is in one of
// the forms kinds names.
std::optional<DateValue> dateArgument(const ArgumentList& args, unsigned kinds) {
  if (args.empty())
    return currentDateTime();
  std::optional<DateValue> value = parseDateTime(StringArg(args[0]).view());
  if (!value || !value->has(kinds))
    return std::nullopt;
  return value;
}

Value stringResult(const std::string& text) {
  return Value::makeString(String(text));
}

Value numberOrNaN(const std::optional<DateValue>& value, double (*field)(const DateValue&)) {
  return Value::makeNumber(value ? field(*value) : kNaN);
}

// ---- Parts of dates ----

Value dateTimeFunction(const Token&, const EvalContext&, ArgumentList&) {
  return stringResult(formatDateTime(currentDateTime()));
}

// date:date and date:time: the part of a dateTime (or the date or time as it is), with
// its zone.
Value partOfDateTime(ArgumentList& args, DateKind part) {
  std::optional<DateValue> value = dateArgument(args, DateKind::DateTime | part);
  if (!value)
    return stringResult("");
  value->kind = part;
  return stringResult(formatDateTime(*value));
}

Value dateFunction(const Token&, const EvalContext&, ArgumentList& args) {
  return partOfDateTime(args, DateKind::Date);
}

Value timeFunction(const Token&, const EvalContext&, ArgumentList& args) {
  return partOfDateTime(args, DateKind::Time);
}

Value yearFunction(const Token&, const EvalContext&, ArgumentList& args) {
  return numberOrNaN(dateArgument(args, kYearKinds), [](const DateValue& value) {
    return double(value.year > 0 ? value.year : value.year - 1);
  });
}

// A boolean, or NaN for a string in no form with a year.
Value leapYearFunction(const Token&, const EvalContext&, ArgumentList& args) {
  std::optional<DateValue> value = dateArgument(args, kYearKinds);
  if (!value)
    return Value::makeNumber(kNaN);
  return Value::makeBoolean(isLeapYear(value->year));
}

constexpr unsigned kMonthKinds = DateKind::DateTime | DateKind::Date | DateKind::GYearMonth |
                                 DateKind::GMonth | DateKind::GMonthDay;
constexpr unsigned kDateKinds = DateKind::DateTime | DateKind::Date;
constexpr unsigned kDayKinds =
    DateKind::DateTime | DateKind::Date | DateKind::GMonthDay | DateKind::GDay;
constexpr unsigned kTimeKinds = DateKind::DateTime | DateKind::Time;

constexpr const char* kMonthNames[] = {"January",   "February", "March",    "April",
                                       "May",       "June",     "July",     "August",
                                       "September", "October",  "November", "December"};
constexpr const char* kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};

Value monthInYearFunction(const Token&, const EvalContext&, ArgumentList& args) {
  return numberOrNaN(dateArgument(args, kMonthKinds),
                     [](const DateValue& value) { return double(value.month); });
}

// The month's English name, whole or in three letters; empty for a string without one.
Value monthName(ArgumentList& args, std::size_t length) {
  std::optional<DateValue> value = dateArgument(args, kMonthKinds);
  if (!value)
    return stringResult("");
  return stringResult(std::string(kMonthNames[value->month - 1]).substr(0, length));
}

Value monthNameFunction(const Token&, const EvalContext&, ArgumentList& args) {
  return monthName(args, std::string::npos);
}

Value monthAbbreviationFunction(const Token&, const EvalContext&, ArgumentList& args) {
  return monthName(args, 3);
}

Value dayInMonthFunction(const Token&, const EvalContext&, ArgumentList& args) {
  return numberOrNaN(dateArgument(args, kDayKinds),
                     [](const DateValue& value) { return double(value.day); });
}

Value dayInYearFunction(const Token&, const EvalContext&, ArgumentList& args) {
  return numberOrNaN(dateArgument(args, kDateKinds), [](const DateValue& value) {
    return double(dayNumber(value.year, value.month, value.day) - dayNumber(value.year, 1, 1) + 1);
  });
}

Value dayInWeekFunction(const Token&, const EvalContext&, ArgumentList& args) {
  return numberOrNaN(dateArgument(args, kDateKinds), [](const DateValue& value) {
    return double(dayOfWeek(dayNumber(value.year, value.month, value.day)));
  });
}

// The how-manieth of its weekday in the month the day is: the 1st to 7th are the first.
Value dayOfWeekInMonthFunction(const Token&, const EvalContext&, ArgumentList& args) {
  return numberOrNaN(dateArgument(args, kDateKinds),
                     [](const DateValue& value) { return double((value.day - 1) / 7 + 1); });
}

Value dayName(ArgumentList& args, std::size_t length) {
  std::optional<DateValue> value = dateArgument(args, kDateKinds);
  if (!value)
    return stringResult("");
  int weekday = dayOfWeek(dayNumber(value->year, value->month, value->day));
  return stringResult(std::string(kDayNames[weekday - 1]).substr(0, length));
}

Value dayNameFunction(const Token&, const EvalContext&, ArgumentList& args) {
  return dayName(args, std::string::npos);
}

Value dayAbbreviationFunction(const Token&, const EvalContext&, ArgumentList& args) {
  return dayName(args, 3);
}

// The week of ISO 8601: weeks start on Monday, and week 1 holds the year's first
// Thursday, so that the first days of January may be in the last week of the year before
// and the last days of December in week 1.
double isoWeek(const DateValue& value) {
  std::int64_t days = dayNumber(value.year, value.month, value.day);
  int weekday = (dayOfWeek(days) + 5) % 7 + 1;  // Monday 1 to Sunday 7
  // The Thursday of the same week decides the year the week belongs to.
  std::int64_t thursday = days - weekday + 4;
  std::int64_t year;
  int month;
  int day;
  civilFromDays(thursday, year, month, day);
  return double((thursday - dayNumber(year, 1, 1)) / 7 + 1);
}

Value weekInYearFunction(const Token&, const EvalContext&, ArgumentList& args) {
  return numberOrNaN(dateArgument(args, kDateKinds), isoWeek);
}

Value hourInDayFunction(const Token&, const EvalContext&, ArgumentList& args) {
  return numberOrNaN(dateArgument(args, kTimeKinds),
                     [](const DateValue& value) { return double(value.time / kNanosPerHour); });
}

Value minuteInHourFunction(const Token&, const EvalContext&, ArgumentList& args) {
  return numberOrNaN(dateArgument(args, kTimeKinds), [](const DateValue& value) {
    return double(value.time / kNanosPerMinute % 60);
  });
}

Value secondInMinuteFunction(const Token&, const EvalContext&, ArgumentList& args) {
  return numberOrNaN(dateArgument(args, kTimeKinds), [](const DateValue& value) {
    return secondsOf(value.time % kNanosPerMinute);
  });
}

// ---- Arithmetic ----

// XML Schema Part 2, appendix E: the months first, the day cut to the new month's
// length, then the span. The result has the form of the date/time, or a more precise one
// when the duration needs it (2001 plus P1D is 2001-01-02).
Value addFunction(const Token&, const EvalContext&, ArgumentList& args) {
  std::optional<DateValue> value = parseDateTime(StringArg(args[0]).view());
  std::optional<Duration> duration = parseDuration(StringArg(args[1]).view());
  if (!value || !value->has(kYearKinds) || !duration)
    return stringResult("");
  Nanos months = Nanos(value->year) * 12 + (value->month - 1) + duration->months;
  value->year = std::int64_t(floorDiv<Nanos>(months, 12));
  value->month = int(floorMod<Nanos>(months, 12)) + 1;
  value->day = std::min(value->day, daysInMonth(value->year, value->month));
  Nanos total = Nanos(dayNumber(value->year, value->month, value->day)) * kNanosPerDay +
                value->time + duration->nanos;
  std::int64_t days = std::int64_t(floorDiv(total, kNanosPerDay));
  value->time = floorMod(total, kNanosPerDay);
  civilFromDays(days, value->year, value->month, value->day);
  if (duration->nanos % kNanosPerDay != 0)
    value->kind = DateKind::DateTime;
  else if (duration->nanos != 0 && value->has(DateKind::GYear | DateKind::GYearMonth))
    value->kind = DateKind::Date;
  else if (duration->months % 12 != 0 && value->kind == DateKind::GYear)
    value->kind = DateKind::GYearMonth;
  return stringResult(formatDateTime(*value));
}

Value durationResult(const Duration& duration) {
  return stringResult(duration.isMixed() ? "" : formatDuration(duration));
}

Value addDurationFunction(const Token&, const EvalContext&, ArgumentList& args) {
  std::optional<Duration> first = parseDuration(StringArg(args[0]).view());
  std::optional<Duration> second = parseDuration(StringArg(args[1]).view());
  if (!first || !second)
    return stringResult("");
  return durationResult({first->months + second->months, first->nanos + second->nanos});
}

// The durations the nodes' string values give, added; empty when one is no duration, for
// an empty node-set, and when the sum has months and days of opposite signs.
Value sumFunction(const Token& call, const EvalContext&, ArgumentList& args) {
  std::span<Node* const> members = nodeSetArgument(call, "date:sum", args, 0);
  if (members.empty())
    return stringResult("");
  Duration total;
  for (Node* node : members) {
    std::optional<Duration> duration = parseDuration(node->stringValue().view());
    if (!duration)
      return stringResult("");
    total.months += duration->months;
    total.nanos += duration->nanos;
  }
  return durationResult(total);
}

// From the first date/time to the second, after cutting the more precise one to the
// form of the other: years for two years, months for year-months, and for dates and
// dateTimes the exact span, zones applied (a date/time without one counts as UTC).
Value differenceFunction(const Token&, const EvalContext&, ArgumentList& args) {
  std::optional<DateValue> start = parseDateTime(StringArg(args[0]).view());
  std::optional<DateValue> end = parseDateTime(StringArg(args[1]).view());
  if (!start || !end || !start->has(kYearKinds) || !end->has(kYearKinds))
    return stringResult("");
  // The forms by precision: the higher bit of the two is the less precise.
  DateKind kind = std::max(start->kind, end->kind);
  Duration duration;
  switch (kind) {
  case DateKind::GYear:
    duration.months = Nanos(end->year - start->year) * 12;
    break;
  case DateKind::GYearMonth:
    duration.months = Nanos(end->year - start->year) * 12 + (end->month - start->month);
    break;
  case DateKind::Date:
    // Midnight of each day in its own zone.
    start->time = 0;
    end->time = 0;
    duration.nanos = end->instant() - start->instant();
    break;
  default:
    duration.nanos = end->instant() - start->instant();
    break;
  }
  return stringResult(formatDuration(duration));
}

// A duration of that many seconds, in days at most; now since 1970-01-01T00:00:00Z
// without an argument. Empty for NaN, infinities and numbers too large to write.
Value durationFunction(const Token&, const EvalContext&, ArgumentList& args) {
  double seconds = args.empty() ? double(std::time(nullptr)) : numberOf(args[0]);
  if (!std::isfinite(seconds) || std::fabs(seconds) > 1e27)
    return stringResult("");
  double whole = std::trunc(seconds);
  Nanos nanos = Nanos(whole) * kNanosPerSecond + Nanos(std::llround((seconds - whole) * 1e9));
  return stringResult(formatDuration({0, nanos}));
}

// The seconds from 1970-01-01T00:00:00Z to a date/time, or in a duration without years
// and months; NaN for anything else.
Value secondsFunction(const Token&, const EvalContext&, ArgumentList& args) {
  if (args.empty())
    return Value::makeNumber(double(std::time(nullptr)));
  StringArg text(args[0]);
  if (std::optional<DateValue> value = parseDateTime(text.view())) {
    if (!value->has(kYearKinds))
      return Value::makeNumber(kNaN);
    return Value::makeNumber(secondsOf(value->instant()));
  }
  std::optional<Duration> duration = parseDuration(text.view());
  if (!duration || duration->months != 0)
    return Value::makeNumber(kNaN);
  return Value::makeNumber(secondsOf(duration->nanos));
}

constexpr NamedFunction kFunctions[] = {
    {"add", {2, 2, addFunction, FunctionResult::String}},
    {"add-duration", {2, 2, addDurationFunction, FunctionResult::String}},
    {"date", {0, 1, dateFunction, FunctionResult::String}},
    {"date-time", {0, 0, dateTimeFunction, FunctionResult::String}},
    {"day-abbreviation", {0, 1, dayAbbreviationFunction, FunctionResult::String}},
    {"day-in-month", {0, 1, dayInMonthFunction, FunctionResult::Number}},
    {"day-in-week", {0, 1, dayInWeekFunction, FunctionResult::Number}},
    {"day-in-year", {0, 1, dayInYearFunction, FunctionResult::Number}},
    {"day-name", {0, 1, dayNameFunction, FunctionResult::String}},
    {"day-of-week-in-month", {0, 1, dayOfWeekInMonthFunction, FunctionResult::Number}},
    {"difference", {2, 2, differenceFunction, FunctionResult::String}},
    {"duration", {0, 1, durationFunction, FunctionResult::String}},
    {"hour-in-day", {0, 1, hourInDayFunction, FunctionResult::Number}},
    {"leap-year", {0, 1, leapYearFunction, FunctionResult::Any}},
    {"minute-in-hour", {0, 1, minuteInHourFunction, FunctionResult::Number}},
    {"month-abbreviation", {0, 1, monthAbbreviationFunction, FunctionResult::String}},
    {"month-in-year", {0, 1, monthInYearFunction, FunctionResult::Number}},
    {"month-name", {0, 1, monthNameFunction, FunctionResult::String}},
    {"second-in-minute", {0, 1, secondInMinuteFunction, FunctionResult::Number}},
    {"seconds", {0, 1, secondsFunction, FunctionResult::Number}},
    {"sum", {1, 1, sumFunction, FunctionResult::String}},
    {"time", {0, 1, timeFunction, FunctionResult::String}},
    {"week-in-year", {0, 1, weekInYearFunction, FunctionResult::Number}},
    {"year", {0, 1, yearFunction, FunctionResult::Number}},
};

}  // namespace

void registerDatesModule(FunctionRegistry& registry) {
  registry.add(kExsltDatesNamespace, kFunctions);
}

}  // namespace ovra
