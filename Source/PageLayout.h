#pragma once

#include <initializer_list>

#include <juce_gui_basics/juce_gui_basics.h>

// What both pages share: a grid with a 3fr/1fr column pair and W/64 gaps, laid
// out inside an inset of W/64, a label font of H/16 and a message-log font of H/32.

juce::Grid makePageGrid (int pageWidth, std::initializer_list<int> rowFractions);

// Lays the grid out in the page's inset bounds, then sets the two fonts.
void layOutPage (juce::Grid& grid, juce::Component& page, juce::Label& label, juce::TextEditor& messageLog);

// A read-only, disabled, multi-line message log with word wrap, added to the page.
void setUpMessageLog (juce::Component& page, juce::TextEditor& messageLog);

// Appends msg and one line break at the end of the log.
void appendToMessageLog (juce::TextEditor& messageLog, const juce::String& msg);

// The inset rectangle of a page: local bounds reduced by m = trunc(W/64) on every side, never negative.
juce::Rectangle<int> pageGridArea (int width, int height);
