#include "server/http_date.h"

#include <cstdio>
#include <ctime>

namespace server {

namespace {

constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

int MonthIndex(std::string_view name) {
  for (int i = 0; i < 12; ++i)
    if (name == kMonths[i]) return i;
  return -1;
}

}  // namespace

std::string FormatHttpDate(int64_t seconds) {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm utc{};
  ::gmtime_r(&t, &utc);
  char text[40];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[utc.tm_wday],
                utc.tm_mday, kMonths[utc.tm_mon], utc.tm_year + 1900, utc.tm_hour, utc.tm_min,
                utc.tm_sec);
  return text;
}

bool ParseHttpDate(std::string_view text, int64_t& seconds) {
  std::string copy(text.substr(0, 64));
  char month[4] = {};
  int day = 0, year = 0, hour = 0, minute = 0, second = 0, used = 0;
  // The weekday is skipped: it is redundant, and RFC 850 spells it out.
  const size_t comma = copy.find(',');
  const char* rest = copy.c_str() + (comma == std::string::npos ? 0 : comma + 1);
  bool parsed =
      // RFC 1123: "Sun, 06 Nov 1994 08:49:37 GMT"
      (std::sscanf(rest, " %2d %3s %4d %2d:%2d:%2d GMT%n", &day, month, &year, &hour, &minute,
                   &second, &used) == 6 &&
       used > 0) ||
      // RFC 850: "Sunday, 06-Nov-94 08:49:37 GMT"
      (std::sscanf(rest, " %2d-%3s-%2d %2d:%2d:%2d GMT%n", &day, month, &year, &hour, &minute,
                   &second, &used) == 6 &&
       used > 0) ||
      // asctime: "Sun Nov  6 08:49:37 1994"
      (comma == std::string::npos &&
       std::sscanf(rest, "%*3s %3s %2d %2d:%2d:%2d %4d%n", month, &day, &hour, &minute, &second,
                   &year, &used) == 6 &&
       used > 0);
  int monthIndex = MonthIndex(month);
  if (!parsed || monthIndex < 0 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
    return false;
  if (year < 100) year += year < 70 ? 2000 : 1900;  // RFC 850's two digits
  std::tm utc{};
  utc.tm_year = year - 1900;
  utc.tm_mon = monthIndex;
  utc.tm_mday = day;
  utc.tm_hour = hour;
  utc.tm_min = minute;
  utc.tm_sec = second;
  seconds = static_cast<int64_t>(::timegm(&utc));
  return true;
}

}  // namespace server
