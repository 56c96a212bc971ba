#include "foundation/Date.h"

#include "foundation/Containers.h"
#include "foundation/Conversions.h"

#include <climits>
#include <ctime>

namespace orvane {

namespace {

bool fitsTime32(long long t)
{
    return t >= INT32_MIN && t <= INT32_MAX;
}

// mktime with daylight saving left to the system. mktime answers -1 both for failure
// and for one real second, so success is told by its filling in the weekday.
bool localToTime32(std::tm& tm, int32_t& out)
{
    tm.tm_isdst = -1;
    tm.tm_wday = -1;
    const time_t t = mktime(&tm);
    if (tm.tm_wday < 0 || !fitsTime32(static_cast<long long>(t)))
        return false;
    out = static_cast<int32_t>(t);
    return true;
}

bool localToTime32(int year, int month, int day, int hour, int minute, int second,
                   int32_t& out)
{
    if (year < INT_MIN + 1900 || month == INT_MIN)
        return false;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    return localToTime32(tm, out);
}

bool breakDownLocal(int32_t time, std::tm& out)
{
    const time_t t = time;
    return localtime_r(&t, &out) != nullptr;
}

bool dateInRange(int year, int month, int day)
{
    return year >= 1970 && year <= 2038 && month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

bool timeInRange(int hour, int minute, int second)
{
    return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
}

const char* const monthNames[12] = {"january", "february", "march",     "april",
                                    "may",     "june",     "july",      "august",
                                    "september", "october", "november", "december"};

} // namespace

Date::Date() : time_(static_cast<int32_t>(::time(nullptr))) {}

int32_t Date::set(int year, int month, int day, int hour, int minute, int second)
{
    int32_t t;
    if (!localToTime32(year, month, day, hour, minute, second, t))
        return -1;
    time_ = t;
    return t;
}

bool Date::setTime(int hour, int minute, int second)
{
    std::tm tm;
    if (!breakDownLocal(time_, tm))
        return false;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    int32_t t;
    if (!localToTime32(tm, t))
        return false;
    time_ = t;
    return true;
}

bool Date::fromZone(int hours)
{
    std::tm tm;
    if (!breakDownLocal(time_, tm))
        return false;
    const long long t = static_cast<long long>(time_) + tm.tm_gmtoff - 3600LL * hours;
    if (!fitsTime32(t))
        return false;
    time_ = static_cast<int32_t>(t);
    return true;
}

int Date::getYear() const
{
    std::tm tm;
    return breakDownLocal(time_, tm) ? tm.tm_year + 1900 : 0;
}

int Date::getMonth() const
{
    std::tm tm;
    return breakDownLocal(time_, tm) ? tm.tm_mon + 1 : 0;
}

int Date::getDay() const
{
    std::tm tm;
    return breakDownLocal(time_, tm) ? tm.tm_mday : 0;
}

int Date::monthFromName(const char* name)
{
    if (!name)
        return 0;
    String lower(name);
    lower.toLower();
    for (int i = 0; i < 12; ++i) {
        if (lower == monthNames[i] || lower == String(monthNames[i], 3))
            return i + 1;
    }
    return 0;
}

bool Date::parse(const char* text)
{
    if (!text)
        return false;
    String s(text);
    const int formAt = s.findFirstOf(" ./");

    int year, month, day;
    if (formAt < 0) {
        // Compact: yyyy[mm[dd[hh[mm[ss]]]]], each field read only when the text reaches it.
        const int n = s.length();
        if (n < 4)
            return false;
        for (int i = 0; i < n; ++i) {
            if (s.at(i) < '0' || s.at(i) > '9')
                return false;
        }
        auto field = [&](int pos, int otherwise) {
            return n >= pos + 2 ? parseInt(s.substring(pos, 2)) : otherwise;
        };
        year = parseInt(s.substring(0, 4));
        month = field(4, 1);
        day = field(6, 1);
        const int hour = field(8, 0), minute = field(10, 0), second = field(12, 0);
        if (!dateInRange(year, month, day) || !timeInRange(hour, minute, second))
            return false;
        int32_t t;
        if (!localToTime32(year, month, day, hour, minute, second, t))
            return false;
        time_ = t;
        return true;
    }

    String timePart;
    bool hasTime = false;
    StringArray fields;
    if (s.at(formAt) == ' ') {
        s.replaceAll(",", " ");
        s.replaceAll("  ", " ");
        s.split(' ', fields, true);
        if (fields.count() < 3)
            return false;
        year = parseInt(fields[2]);
        const String& first = fields[0];
        if (!first.isEmpty() && first.at(0) >= '0' && first.at(0) <= '9') {
            day = parseInt(first);
            month = monthFromName(fields[1]);
        } else {
            month = monthFromName(first);
            day = parseInt(fields[1]);
        }
        if (fields.count() > 3) {
            hasTime = true;
            timePart = fields[3];
            if (fields.count() >= 5)
                timePart += ' ' + fields[4];
        }
    } else {
        const char separator = s.at(formAt);
        const int space = s.find(' ');
        String datePart = space < 0 ? s : s.substring(0, space);
        if (space >= 0) {
            hasTime = true;
            timePart = s.substring(space + 1);
        }
        datePart.split(separator, fields, true);
        if (fields.count() != 3)
            return false;
        const int first = parseInt(fields[0]), second = parseInt(fields[1]);
        month = separator == '/' ? first : second;
        day = separator == '/' ? second : first;
        year = parseInt(fields[2]);
    }

    if (!dateInRange(year, month, day))
        return false;
    int32_t midnight;
    if (!localToTime32(year, month, day, 0, 0, 0, midnight))
        return false;
    time_ = midnight;
    return hasTime ? parseTimePart(timePart) : true;
}

bool Date::parseTimePart(const String& part)
{
    const int space = part.find(' ');
    StringArray fields;
    (space < 0 ? part : part.substring(0, space)).split(':', fields, true);
    if (fields.count() != 3)
        return false;
    const int hour = parseInt(fields[0]), minute = parseInt(fields[1]),
              second = parseInt(fields[2]);
    if (!timeInRange(hour, minute, second) || !setTime(hour, minute, second))
        return false;
    if (space < 0)
        return true;
    const String zone = part.substring(space + 1);
    if (zone.isEmpty())
        return true;
    if (!zone.startsWith("GMT"))
        return false;
    return fromZone(parseInt(zone.c_str() + 3));
}

String buildStamp(const char* compileDate)
{
    if (!compileDate)
        return String();
    Date date;
    if (!date.parse(String(compileDate) + " 00:00:00 GMT+00"))
        return String();
    const time_t t = date.getTime();
    std::tm utc;
    if (!gmtime_r(&t, &utc))
        return String();
    String stamp;
    stamp.format("%02d%02d%02d", utc.tm_year + 1900 - 2000, utc.tm_mon + 1, utc.tm_mday);
    return stamp;
}

} // namespace orvane
