#include "LoggingPage.h"

#include "Log/Log.h"
#include "PageLayout.h"

LUMO_LOG_FILE_LOGGER

LoggingPage::LoggingPage (WizardActions* actions)
    : collector (*this, actions), spinner (getLookAndFeel().findColour (juce::TextEditor::textColourId))
{
    initComponents();
}

void LoggingPage::initComponents()
{
    instructionLabel.setJustificationType (juce::Justification::topLeft);
    addAndMakeVisible (instructionLabel);

    actionButton.setMouseCursor (juce::MouseCursor::PointingHandCursor);
    actionButton.onClick = [this] { collector.pushEvent (event::Next {}); };
    addAndMakeVisible (actionButton);

    closeButton.setMouseCursor (juce::MouseCursor::PointingHandCursor);
    closeButton.onClick = [this] { collector.pushEvent (event::Close {}); };
    addAndMakeVisible (closeButton);

    addChildComponent (spinner);

    setUpMessageLog (*this, logView);
}

void LoggingPage::resized()
{
    auto grid = makePageGrid (getWidth(), { 1, 1, 2, 4 });
    grid.items = {
        juce::GridItem (instructionLabel).withArea (1, 1, 4, 2),
        juce::GridItem (logView).withArea (4, 1, 5, 3),
        juce::GridItem (actionButton).withArea (1, 2, 2, 3),
        juce::GridItem (closeButton).withArea (2, 2, 3, 3),
        juce::GridItem (spinner).withArea (3, 2, 4, 3),
    };
    layOutPage (grid, *this, instructionLabel, logView);
}

void LoggingPage::setInstruction (const juce::String& text)
{
    instructionLabel.setText (text, juce::dontSendNotification);
}

void LoggingPage::setActionButton (const juce::String& caption, bool enabled)
{
    actionButton.setButtonText (caption);
    actionButton.setEnabled (enabled);
}

void LoggingPage::setCloseButton (const juce::String& caption, bool enabled)
{
    closeButton.setButtonText (caption);
    closeButton.setEnabled (enabled);
}

void LoggingPage::startActionCountdown (const juce::String& caption)
{
    countdownSeconds = 15;
    countdownCaption = caption;
    refreshCountdownCaption();
    startTimer (1000);
}

void LoggingPage::refreshCountdownCaption()
{
    actionButton.setButtonText (countdownCaption + " (" + juce::String (countdownSeconds) + " sec)");
    actionButton.setEnabled (false);
}

void LoggingPage::timerCallback()
{
    --countdownSeconds;
    if (countdownSeconds > 0)
    {
        refreshCountdownCaption();
        return;
    }
    actionButton.setButtonText (countdownCaption);
    actionButton.setEnabled (true);
    stopTimer();
}

void LoggingPage::showSpinner (bool visible)
{
    spinner.setVisible (visible);
}

void LoggingPage::printMsg (const juce::String& msg)
{
    appendToMessageLog (logView, msg);
    LUMO_LOG_INFO ("{}", msg.toStdString());
}
