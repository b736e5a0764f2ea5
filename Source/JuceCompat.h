#pragma once

// The one place that knows which JUCE major version the GUI is built with:
// the tool ships on JUCE 8 (MSVC, Linux), and the MinGW build uses JUCE 7.

#include <juce_gui_basics/juce_gui_basics.h>

namespace compat
{
// A font of the default typeface at the given height.
inline juce::Font fontOfHeight (float height)
{
#if JUCE_MAJOR_VERSION >= 8
    return juce::Font (juce::FontOptions (height));
#else
    return juce::Font (height);
#endif
}
} // namespace compat

namespace compat
{
// JUCE 7 on Windows hands repaints to the window only on the display's vertical
// blank (DXGI); where the system reports no display output for it (Wine, some
// virtual machines) the window would never repaint. JUCE 7 builds pass the
// pending repaints on at the display's pace themselves; JUCE 8 needs nothing.
class RepaintPump
#if JUCE_MAJOR_VERSION < 8
    : private juce::Timer
#endif
{
public:
    explicit RepaintPump (juce::Component& topLevel) : component (topLevel)
    {
#if JUCE_MAJOR_VERSION < 8
        startTimer (16);
#endif
    }
#if JUCE_MAJOR_VERSION < 8
    ~RepaintPump() override { stopTimer(); }
#endif

private:
#if JUCE_MAJOR_VERSION < 8
    void timerCallback() override
    {
        if (auto* peer = component.getPeer())
            peer->performAnyPendingRepaintsNow();
    }
#endif
    juce::Component& component;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (RepaintPump)
};
} // namespace compat
