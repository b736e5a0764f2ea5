#include "TabView.h"

TabView::TabView() : juce::TabbedComponent (juce::TabbedButtonBar::TabsAtBottom)
{
    const auto tabColour = findColour (juce::ResizableWindow::backgroundColourId);
    addTab ("Logging", tabColour, &loggingPage, false);
    addTab ("Backup & Reset", tabColour, &resetPage, false);
    setCurrentTabIndex (0);
}

TabView::~TabView()
{
    clearTabs(); // the pages are members: the tab bar must forget them first
}
