#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The "Logging" tab. (The collection wizard moves in here.)
class LoggingPage : public juce::Component
{
public:
    LoggingPage() = default;
};
