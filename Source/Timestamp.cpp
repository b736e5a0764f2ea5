#include "Timestamp.h"

juce::String formatTimestamp (const juce::Time& time)
{
    return time.formatted ("%Y%m%d%H%M%S");
}

juce::String currentTimestamp()
{
    return formatTimestamp (juce::Time::getCurrentTime());
}
