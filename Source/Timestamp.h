#pragma once

#include <juce_core/juce_core.h>

// The current local time as 14 digits, "%Y%m%d%H%M%S": names the exported zip
// file and the backup folder.
juce::String currentTimestamp();
