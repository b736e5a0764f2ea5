#include "LoggingPage.h"

#include "Log/Log.h"
#include "PageLayout.h"

#include <algorithm>

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
    addChildComponent (progressBar);
    progressTimer.tick = [this] {
        const auto [read, total] = collector.zipBuilder.progress();
        exportProgress = total > 0 ? std::clamp (static_cast<double> (read) / static_cast<double> (total), 0.0, 1.0) : 0.0;
    };

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
    if (progressBar.isVisible())
    {
        // The bar takes the bottom of the spinner's cell while the export runs.
        auto cell = spinner.getBounds();
        progressBar.setBounds (cell.removeFromBottom (std::max (20, cell.getHeight() / 4)));
        spinner.setBounds (cell);
    }
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

void LoggingPage::showExportProgress (bool visible)
{
    exportProgress = 0.0;
    progressBar.setVisible (visible);
    if (visible)
        progressTimer.startTimer (200);
    else
        progressTimer.stopTimer();
    resized();
}

void LoggingPage::printMsg (const juce::String& msg)
{
    appendToMessageLog (logView, msg);
    LUMO_LOG_INFO ("{}", msg.toStdString());
}
