#include "Spinner.h"

Spinner::Spinner (juce::Colour c) : colour (c)
{
    startTimer (20);
}

Spinner::~Spinner()
{
    stopTimer();
}

void Spinner::paint (juce::Graphics& g)
{
    getLookAndFeel().drawSpinningWaitAnimation (g, colour, 0, 0, getWidth(), getHeight());
}

void Spinner::timerCallback()
{
    repaint();
}
