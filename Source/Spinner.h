#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The busy indicator: the look-and-feel's spinning wait animation, repainted
// every 20 ms. Its owner shows and hides it.
class Spinner : public juce::Component, private juce::Timer
{
public:
    explicit Spinner (juce::Colour colour);
    ~Spinner() override;

    void paint (juce::Graphics& g) override;

    const juce::Colour colour;

private:
    void timerCallback() override;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Spinner)
};
