#include "PageLayout.h"

#include "JuceCompat.h"

#include <algorithm>

juce::Grid makePageGrid (int pageWidth, std::initializer_list<int> rowFractions)
{
    using Track = juce::Grid::TrackInfo;
    using Fr = juce::Grid::Fr;

    const float gap = static_cast<float> (pageWidth) * 0.015625f;
    juce::Grid grid;
    for (const auto fraction : rowFractions)
        grid.templateRows.add (Track (Fr (fraction)));
    grid.templateColumns = { Track (Fr (3)), Track (Fr (1)) };
    grid.rowGap = juce::Grid::Px (gap);
    grid.columnGap = juce::Grid::Px (gap);
    return grid;
}

juce::Rectangle<int> pageGridArea (int width, int height)
{
    const int m = static_cast<int> (static_cast<float> (width) * 0.015625f);
    return { m, m, std::max (0, width - 2 * m), std::max (0, height - 2 * m) };
}

void layOutPage (juce::Grid& grid, juce::Component& page, juce::Label& label, juce::TextEditor& messageLog)
{
    grid.performLayout (pageGridArea (page.getWidth(), page.getHeight()));

    const auto height = static_cast<float> (page.getHeight());
    label.setFont (compat::fontOfHeight (height * 0.0625f));
    messageLog.setFont (compat::fontOfHeight (height * 0.03125f));
}

void setUpMessageLog (juce::Component& page, juce::TextEditor& messageLog)
{
    messageLog.setColour (juce::TextEditor::textColourId, page.getLookAndFeel().findColour (juce::TextEditor::textColourId));
    messageLog.setMultiLine (true, true);
    messageLog.setLineSpacing (1.2f);
    messageLog.setReadOnly (true);
    messageLog.setEnabled (false);
    page.addAndMakeVisible (messageLog);
}

void appendToMessageLog (juce::TextEditor& messageLog, const juce::String& msg)
{
    messageLog.setCaretPosition (2147483647);
    messageLog.insertTextAtCaret (msg);
    messageLog.insertTextAtCaret ("\n");
}
