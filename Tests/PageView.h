#pragma once

// What a user sees of a page: its text, its two buttons (the upper action
// button, then the lower CLOSE), its message log, the busy spinner and the
// export's progress bar, found
// among the page's children in the order the page adds them.

#include <juce_gui_basics/juce_gui_basics.h>

struct PageView
{
    explicit PageView (juce::Component& page)
    {
        for (auto* child : page.getChildren())
        {
            if (auto* button = dynamic_cast<juce::TextButton*> (child))
                (action == nullptr ? action : close) = button;
            else if (auto* text = dynamic_cast<juce::Label*> (child))
                label = text;
            else if (auto* editor = dynamic_cast<juce::TextEditor*> (child))
                log = editor;
            else if (auto* bar = dynamic_cast<juce::ProgressBar*> (child))
                progress = bar;
            else
                spinner = child;
        }
        jassert (label != nullptr && action != nullptr && close != nullptr && log != nullptr);
    }

    juce::Label* label = nullptr;
    juce::TextButton* action = nullptr;
    juce::TextButton* close = nullptr;
    juce::TextEditor* log = nullptr;
    juce::Component* spinner = nullptr;       // the logging page's only
    juce::ProgressBar* progress = nullptr;    // the logging page's export progress
};
