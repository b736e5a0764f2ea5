#pragma once

#include <juce_core/juce_core.h>

// A local time as 14 digits, "%Y%m%d%H%M%S" (hours 00 to 23): names the
// exported zip file and the backup folder.
juce::String formatTimestamp (const juce::Time& time);

// The current local time, formatted so.
juce::String currentTimestamp();
