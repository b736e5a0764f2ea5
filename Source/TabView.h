#pragma once

#include "LoggingPage.h"
#include "ResetPage.h"

#include <juce_gui_basics/juce_gui_basics.h>

// The two tabs along the bottom. The pages are members; the tabbed component
// only refers to them.
class TabView : public juce::TabbedComponent
{
public:
    TabView();
    ~TabView() override;

private:
    LoggingPage loggingPage;
    ResetPage resetPage;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TabView)
};
