#include "Timestamp.h"

juce::String currentTimestamp()
{
    return juce::Time::getCurrentTime().formatted ("%Y%m%d%H%M%S");
}
