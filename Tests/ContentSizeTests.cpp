#include <gtest/gtest.h>

#include "ContentSize.h"
#include "Timestamp.h"

TEST (ContentSize, FollowsThePrimaryDisplaysUserArea)
{
    struct Case
    {
        int w, h;
        ContentSize expected;
    };
    const Case cases[] = {
        { 1920, 1040, { 800, 500 } }, // ratios between 1.5 and 4
        { 1366, 728, { 776, 485 } },  // rh < 1.5 and rh < rw: height-based
        { 1024, 728, { 682, 426 } },  // rw < 1.5 and rh >= rw: width-based
        { 1080, 1800, { 720, 450 } }, // rw < 1.5: width-based
        { 1200, 750, { 800, 500 } },  // exactly 1.5: no shrink
        { 3200, 2000, { 800, 500 } }, // exactly 4.0: no growth
        { 3840, 2080, { 960, 600 } }, // rw > 4 and rw >= rh: width-based
        { 3300, 2400, { 960, 600 } }, // rh > rw > 4: height-based
    };
    for (const auto& c : cases)
    {
        const auto size = computeContentSize (c.w, c.h);
        EXPECT_EQ (size.width, c.expected.width) << c.w << " x " << c.h;
        EXPECT_EQ (size.height, c.expected.height) << c.w << " x " << c.h;
    }
}

// Fixed local times: a 12-hour clock or a missing zero shows at some hour only.
TEST (Timestamp, FormatsFixedLocalTimes)
{
    struct Case
    {
        int year, month, day, hours, minutes, seconds; // month 0-based, as juce::Time takes it
        const char* expected;
    };
    const Case cases[] = {
        { 2026, 0, 5, 0, 5, 0, "20260105000500" },    // 00:05 stays 00, not 12
        { 2026, 5, 15, 12, 0, 0, "20260615120000" },   // noon
        { 2026, 9, 1, 13, 7, 9, "20261001130709" },    // 13:07, not 01:07
        { 2026, 11, 31, 23, 59, 59, "20261231235959" }, // the last second of a year
        { 2024, 1, 29, 8, 30, 0, "20240229083000" },   // a leap day
    };
    for (const auto& c : cases)
        EXPECT_EQ (formatTimestamp (juce::Time (c.year, c.month, c.day, c.hours, c.minutes, c.seconds, 0, true)), c.expected)
            << c.expected;
}

TEST (Timestamp, FourteenDigitsOfTheLocalTime)
{
    const auto before = juce::Time::getCurrentTime();
    const auto stamp = currentTimestamp();
    const auto after = juce::Time::getCurrentTime();

    ASSERT_EQ (stamp.length(), 14);
    EXPECT_TRUE (stamp.containsOnly ("0123456789"));

    const auto expectedFor = [] (const juce::Time& t)
    {
        return juce::String::formatted ("%04d%02d%02d%02d%02d%02d", t.getYear(), t.getMonth() + 1, t.getDayOfMonth(),
                                        t.getHours(), t.getMinutes(), t.getSeconds());
    };
    EXPECT_TRUE (stamp == expectedFor (before) || stamp == expectedFor (after)) << stamp;
}
