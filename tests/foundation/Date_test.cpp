#include "foundation/Clock.h"
#include "foundation/Date.h"
#include "foundation/WaitEvent.h"

#include "TempDirectory.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <unistd.h>

using namespace orvane;

namespace {

// Sets TZ for one scope and puts the old value back afterwards. A zone missing from the
// system's zone database fails the test: the data comes with the tzdata package.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone)
    {
        const std::string file = std::string("/usr/share/zoneinfo/") + zone;
        present_ = access(file.c_str(), R_OK) == 0;
        EXPECT_TRUE(present_) << "time zone " << zone << " missing: install tzdata";
        tz_.emplace("TZ", zone);
        tzset();
    }
    ~ZoneScope()
    {
        tz_.reset();
        tzset();
    }
    bool present() const { return present_; }

private:
    bool present_ = false;
    std::optional<orvane::testing::ScopedEnv> tz_;
};

int64_t utc(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    return timegm(&tm);
}

// Each zone with its offset from UTC, in seconds, in January and in July 2006: the
// expectations below are built from these, not from the C library's local time.
struct Zone {
    const char* name;
    int january;
    int july;
};
const Zone zones[] = {
    {"UTC", 0, 0},
    {"America/New_York", -5 * 3600, -4 * 3600},
    {"Asia/Kolkata", 19800, 19800},
    {"Pacific/Auckland", 13 * 3600, 12 * 3600},
    {"Etc/GMT+12", -12 * 3600, -12 * 3600}, // the Etc names count west as positive
    {"Pacific/Kiritimati", 14 * 3600, 14 * 3600},
};

const int32_t untouched = 123456789;

} // namespace

TEST(Date, CompileDateGivesTheSameMomentAndBuildStampInEveryZone)
{
    for (const Zone& z : zones) {
        SCOPED_TRACE(z.name);
        ZoneScope scope(z.name);
        Date d(untouched);
        EXPECT_TRUE(d.parse("Jul  3 2006 00:00:00 GMT+00"));
        EXPECT_EQ(d.getTime(), utc(2006, 7, 3));
        EXPECT_EQ(buildStamp("Jul  3 2006"), "060703");
        EXPECT_EQ(buildStamp("Dec 31 2037"), "371231");
        EXPECT_EQ(buildStamp("Jan  1 2010"), "100101");
    }
    EXPECT_EQ(buildStamp("Foo  3 2006"), "");
    EXPECT_EQ(buildStamp(nullptr), "");
}

TEST(Date, TextFormsGiveTheSameLocalMidnight)
{
    const char* const texts[] = {"Jul 3 2006",  "3 Jul 2006",   "JUL 3 2006", "July 3, 2006",
                                 "3 july 2006", "Jul  3 2006",  "3, JULY, 2006",
                                 "jul 03 2006"};
    for (const Zone& z : zones) {
        SCOPED_TRACE(z.name);
        ZoneScope scope(z.name);
        for (const char* text : texts) {
            SCOPED_TRACE(text);
            Date d(untouched);
            EXPECT_TRUE(d.parse(text));
            EXPECT_EQ(d.getTime(), utc(2006, 7, 3) - z.july);
            EXPECT_EQ(d.getYear(), 2006);
            EXPECT_EQ(d.getMonth(), 7);
            EXPECT_EQ(d.getDay(), 3);
        }
    }
}

TEST(Date, RefusedDatesLeaveTheTimeUnchanged)
{
    const char* const refused[] = {
        nullptr,
        "",
        "Jul 3",              // two fields
        "Tue, 04 Jul 2006",   // the weekday takes the month's place
        "Foo 3 2006",
        "Jul 0 2006",
        "Jul 32 2006",
        "Jul 3 1969",
        "Jul 3 2039",
        "Jul 3   2006",       // three spaces leave an empty field where the year should be
        "31/7/2006",          // slashed reads the month first
        "7/3",
        "7/3/2006/1",
        "1.13.2006",
        "0.1.2006",
        "1.1.1969",
        "1.1.2039",
        "200",                // compact: too short
        "1969",
        "2039",
        "20061301",
        "20060732",
        "2006070324",
        "200607031060",
        "20060703102060",
        "2006a703",
        "2006-07-03",
    };
    ZoneScope scope("America/New_York");
    for (const char* text : refused) {
        SCOPED_TRACE(text ? text : "NULL");
        Date d(untouched);
        EXPECT_FALSE(d.parse(text));
        EXPECT_EQ(d.getTime(), untouched);
    }
}

TEST(Date, SlashedReadsMonthFirstAndDottedDayFirst)
{
    for (const Zone& z : zones) {
        SCOPED_TRACE(z.name);
        ZoneScope scope(z.name);
        struct Case {
            const char* text;
            int64_t expected;
        } cases[] = {
            {"7/3/2006", utc(2006, 7, 3) - z.july},
            {"07/03/2006", utc(2006, 7, 3) - z.july},
            {"3.7.2006", utc(2006, 7, 3) - z.july},
            {"3.7.2006 10:20:30", utc(2006, 7, 3, 10, 20, 30) - z.july},
            {"12/31/2006 23:59:59", utc(2006, 12, 31, 23, 59, 59) - z.january},
            {"7/3/2006 10:20:30 GMT+02", utc(2006, 7, 3, 8, 20, 30)},
            {"3.7.2006 10:20:30 GMT-05", utc(2006, 7, 3, 15, 20, 30)},
            {"Jul 3 2006 10:20:30 GMT", utc(2006, 7, 3, 10, 20, 30)},
            {"3 Jul 2006 10:20:30 GMT+14 trailing words", utc(2006, 7, 2, 20, 20, 30)},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.text);
            Date d(untouched);
            EXPECT_TRUE(d.parse(c.text));
            EXPECT_EQ(d.getTime(), c.expected);
        }
    }
}

TEST(Date, CompactFormFillsWhatIsMissing)
{
    for (const Zone& z : zones) {
        SCOPED_TRACE(z.name);
        ZoneScope scope(z.name);
        struct Case {
            const char* text;
            int64_t expected;
        } cases[] = {
            {"2006", utc(2006, 1, 1) - z.january},
            {"20067", utc(2006, 1, 1) - z.january}, // the month needs two digits
            {"200607", utc(2006, 7, 1) - z.july},
            {"20060703", utc(2006, 7, 3) - z.july},
            {"2006070310", utc(2006, 7, 3, 10) - z.july},
            {"200607031020", utc(2006, 7, 3, 10, 20) - z.july},
            {"20060703102030", utc(2006, 7, 3, 10, 20, 30) - z.july},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.text);
            Date d(untouched);
            EXPECT_TRUE(d.parse(c.text));
            EXPECT_EQ(d.getTime(), c.expected);
        }
    }
}

TEST(Date, RefusedTimePartKeepsTheDate)
{
    ZoneScope scope("America/New_York");
    const int64_t midnight = utc(2006, 7, 3) + 4 * 3600;
    struct Case {
        const char* text;
        int64_t stored;
    } cases[] = {
        // A zone other than GMT: the local date and time stay stored.
        {"Jul 3 2006 10:20:30 EST", midnight + 10 * 3600 + 20 * 60 + 30},
        {"7/3/2006 10:20:30 UTC", midnight + 10 * 3600 + 20 * 60 + 30},
        {"Jul 3 2006 24:00:00", midnight},
        {"Jul 3 2006 10:60:00", midnight},
        {"Jul 3 2006 10:20", midnight},
        {"3.7.2006 10:20:30:40", midnight},
        {"3.7.2006 ", midnight},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Date d(untouched);
        EXPECT_FALSE(d.parse(c.text));
        EXPECT_EQ(d.getTime(), c.stored);
    }
}

TEST(Date, RefusesWhatThirtyTwoBitsCannotHold)
{
    {
        ZoneScope scope("UTC");
        Date d(untouched);
        EXPECT_TRUE(d.parse("19.01.2038 03:14:07"));
        EXPECT_EQ(d.getTime(), INT32_MAX);
        EXPECT_TRUE(d.parse("20380119031407"));
        EXPECT_EQ(d.getTime(), INT32_MAX);

        d = Date(untouched);
        EXPECT_FALSE(d.parse("20380119031408"));
        EXPECT_EQ(d.getTime(), untouched);
        EXPECT_FALSE(d.parse("20.01.2038"));
        EXPECT_FALSE(d.parse("Dec 31 2038"));
        EXPECT_EQ(d.getTime(), untouched);

        // The date fits, its time of day or zone does not: the date stays.
        EXPECT_FALSE(d.parse("19.01.2038 03:14:08"));
        EXPECT_EQ(d.getTime(), utc(2038, 1, 19));
        EXPECT_FALSE(d.parse("Jan 19 2038 03:14:07 GMT-01"));
        EXPECT_EQ(d.getTime(), INT32_MAX);

        EXPECT_EQ(d.set(2038, 1, 19, 3, 14, 8), -1);
        EXPECT_EQ(d.getTime(), INT32_MAX);
        EXPECT_EQ(d.set(1901, 12, 13, 20, 45, 52), INT32_MIN);
        EXPECT_EQ(d.set(1901, 12, 13, 20, 45, 51), -1);
        EXPECT_EQ(d.getTime(), INT32_MIN);
        EXPECT_EQ(d.set(INT_MIN, INT_MIN, 1, 0, 0, 0), -1);
    }
    {
        // Local midnight on 19 January 2038 in New York is already past the last second.
        ZoneScope scope("America/New_York");
        Date d(untouched);
        EXPECT_FALSE(d.parse("19.01.2038"));
        EXPECT_EQ(d.getTime(), untouched);
        EXPECT_TRUE(d.parse("18.01.2038 22:14:07"));
        EXPECT_EQ(d.getTime(), INT32_MAX);
        EXPECT_FALSE(d.parse("18.01.2038 22:14:08"));
        EXPECT_EQ(d.getTime(), utc(2038, 1, 18) + 5 * 3600);
    }
    {
        // East of Greenwich, local midnight of 1 January 1970 lies before the epoch and
        // still fits.
        ZoneScope scope("Asia/Kolkata");
        Date d(untouched);
        EXPECT_TRUE(d.parse("1.1.1970"));
        EXPECT_EQ(d.getTime(), -19800);
    }
}

TEST(Date, SetSetTimeAndFromZone)
{
    ZoneScope scope("America/New_York");
    Date d(untouched);
    const int64_t noon = utc(2006, 7, 3, 16);
    EXPECT_EQ(d.set(2006, 7, 3, 12, 0, 0), noon);
    EXPECT_TRUE(d.setTime(23, 59, 59));
    EXPECT_EQ(d.getTime(), utc(2006, 7, 4, 3, 59, 59));
    EXPECT_EQ(d.getDay(), 3); // still the local 3 July

    d.set(2006, 7, 3, 12, 0, 0);
    EXPECT_TRUE(d.fromZone(2));
    EXPECT_EQ(d.getTime(), utc(2006, 7, 3, 10));
    d.set(2006, 1, 3, 12, 0, 0);
    EXPECT_TRUE(d.fromZone(-5));
    EXPECT_EQ(d.getTime(), utc(2006, 1, 3, 17));
    d.set(2006, 1, 3, 12, 0, 0);
    EXPECT_FALSE(d.fromZone(INT_MIN));
    EXPECT_EQ(d.getTime(), utc(2006, 1, 3, 17));
}

TEST(Date, MonthFromName)
{
    struct Case {
        const char* name;
        int month;
    } cases[] = {
        {"jan", 1},       {"January", 1}, {"JANUARY", 1}, {"Feb", 2},  {"may", 5},
        {"sep", 9},       {"September", 9}, {"dec", 12},  {"DECEMBER", 12},
        {"sept", 0},      {"janu", 0},    {"ja", 0},      {"", 0},     {nullptr, 0},
        {" jan", 0},      {"januaryx", 0}, {"Mai", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Date::monthFromName(c.name), c.month) << (c.name ? c.name : "NULL");
}

TEST(Date, DefaultIsNowAndTheMillisecondClockAdvances)
{
    const time_t before = time(nullptr);
    Date now;
    const time_t after = time(nullptr);
    EXPECT_GE(now.getTime(), before);
    EXPECT_LE(now.getTime(), after);

    int64_t last = currentTimeMillis();
    for (int i = 0; i < 1000; ++i) {
        const int64_t t = currentTimeMillis();
        EXPECT_GE(t, last);
        last = t;
    }
    const int64_t wall0 = currentTimeMillis();
    sleepMillis(100);
    const int64_t apart = currentTimeMillis() - wall0;
    EXPECT_GE(apart, 90);
    EXPECT_LT(apart, 2000);
}
