#pragma once

#include "foundation/String.h"

#include <cstdint>

namespace orvane {

// A point in time: signed 32-bit seconds since 1970-01-01 00:00 UTC. Broken-down values
// are read and written in the machine's local time zone, daylight saving decided by the
// system.
class Date {
public:
    // The current time.
    Date();
    explicit Date(int32_t time) : time_(time) {}

    int32_t getTime() const { return time_; }

    // Stores the moment the values name as local time and answers it; -1, with the
    // stored time unchanged, when a 32-bit time cannot hold it.
    int32_t set(int year, int month, int day, int hour, int minute, int second);
    // Keeps the local date and replaces the local time of day; false, with nothing
    // changed, when the result does not fit.
    bool setTime(int hour, int minute, int second);
    // Takes the stored wall-clock reading, made as local time, as a reading in the zone
    // GMT+hours instead. False, with nothing changed, when the result does not fit.
    bool fromZone(int hours);

    int getYear() const;
    int getMonth() const;  // 1-12
    int getDay() const;    // 1-31

    // Reads one of the date forms the program meets:
    //   text     "Jul 3 2006", "3 July 2006", "JUL 3, 2006 10:20:30 GMT+02"
    //   slashed  "7/3/2006 [10:20:30 [GMT-05]]"  (month first)
    //   dotted   "3.7.2006 [10:20:30 [GMT+01]]"  (day first)
    //   compact  "2006", "200607", "20060703", ... "20060703102030"
    // The first space, '.' or '/' in the text chooses the form; digits alone are the
    // compact form. A refused date answers false and leaves the stored time as it was;
    // a refused time part answers false but leaves the date (and the time of day when
    // only the zone was refused) stored.
    bool parse(const char* text);

    // 1-12 for an English month name in full or its first three letters, in any case;
    // 0 for anything else.
    static int monthFromName(const char* name);

private:
    bool parseTimePart(const String& part);

    int32_t time_;
};

// The build stamp "YYMMDD" for a compile date in the compiler's form ("Jul  3 2006"),
// taken as a UTC date, so that the stamp is the same in every time zone. Empty when the
// date cannot be read.
String buildStamp(const char* compileDate);

} // namespace orvane
