// Tests of the creation-time text of CSV key files: the classic "%c" form written and read under any zone,
// the locale's form read as well, and texts that give no time.
#include <gtest/gtest.h>

#include "keys/CsvTime.h"
#include "keys/dbf_LocalZone.h"

using namespace dbftest;

TEST(CsvTime, WritesTheClassicForm) {
    CLocalZone zone(kCentralEurope);
    EXPECT_EQ(format_csv_time(local_time(2026, 12, 7, 4, 29) + 1), "Mon Dec  7 04:29:01 2026");
    EXPECT_EQ(format_csv_time(local_time(2025, 7, 14, 23, 5) + 59), "Mon Jul 14 23:05:59 2025");
    EXPECT_EQ(format_csv_time(0), "");
}

TEST(CsvTime, ReadsBackWhatItWritesInEveryZone) {
    for (const char* tz : {kCentralEurope, kEasternUs, "UTC0"}) {
        CLocalZone zone(tz);
        for (std::int64_t t : {local_time(2026, 12, 5, 23, 59) + 59, local_time(2025, 3, 30, 3, 0) + 1,
                               local_time(1999, 1, 1, 0, 0), local_time(2038, 2, 1, 12, 0)})
            EXPECT_EQ(parse_csv_time(format_csv_time(t)), t) << tz << " " << format_csv_time(t);
    }
}

struct LocaleCase {
    const char* text;
    const char* format;
    int year, month, day, hour, minute, second;
};

TEST(CsvTime, ReadsTheFormOfTheLocale) {
    CLocalZone zone(kCentralEurope);
    // Forms of the kind locales give "%c": numeric, and the English (US) one ending in the zone name.
    const LocaleCase cases[] = {
        {"07.12.2026 04:29:01", "%d.%m.%Y %H:%M:%S", 2026, 12, 7, 4, 29, 1},
        {"Mon 07 Dec 2026 04:29:01 PM CET", "%a %d %b %Y %r %Z", 2026, 12, 7, 16, 29, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse_csv_time(c.text, c.format),
                  local_time(c.year, c.month, c.day, c.hour, c.minute) + c.second)
            << c.text;
    }
    // The classic form is read whatever the locale's form is.
    EXPECT_EQ(parse_csv_time("Mon Dec  7 04:29:01 2026", "%d.%m.%Y %H:%M:%S"),
              local_time(2026, 12, 7, 4, 29) + 1);
}

TEST(CsvTime, TextsThatAreNoTimeGiveZero) {
    for (const char* text : {"", "yesterday", "Mon Dec  7 04:29:01", "Mon Dec  7 04:29:01 2026 and more",
                             "Mon Foo  7 04:29:01 2026", "Mon Dec 32 04:29:01 2026",
                             "Mon Dec  7 25:29:01 2026", "07.12.2026 04:29:01 garbage!"})
        EXPECT_EQ(parse_csv_time(text, "%d.%m.%Y %H:%M:%S"), 0) << text;
}
