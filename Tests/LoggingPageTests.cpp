#include <gtest/gtest.h>

#include "LoggingPage.h"
#include "PageView.h"
#include "TestSupport.h"

// These run before the message loop delivers the first screen, so the page is
// as its constructor left it.
TEST (LoggingPage, RightAfterConstruction)
{
    LoggingPage page;
    EXPECT_EQ (PageView (page).label->getText(), "");
    EXPECT_EQ (PageView (page).action->getButtonText(), "");
    EXPECT_EQ (PageView (page).close->getButtonText(), "");
    EXPECT_TRUE (PageView (page).action->isEnabled());
    EXPECT_TRUE (PageView (page).close->isEnabled());
    EXPECT_FALSE (PageView (page).spinner->isVisible());
    EXPECT_EQ (PageView (page).spinner->getParentComponent(), &page);
    EXPECT_EQ (PageView (page).log->getText(), "");
    EXPECT_TRUE (PageView (page).log->isReadOnly());
    EXPECT_FALSE (PageView (page).log->isEnabled());
    // The worker runs from construction on: its first screen arrives by the message loop.
    EXPECT_TRUE (testing_support::pumpUntil ([&] { return PageView (page).log->getText() == "VORN Triagent initialized\n"; }));
    EXPECT_EQ (PageView (page).action->getButtonText(), "NEXT");
}

TEST (LoggingPage, CountdownOnTheActionButton)
{
    LoggingPage page;
    page.startActionCountdown ("COLLECT");
    EXPECT_EQ (PageView (page).action->getButtonText(), "COLLECT (15 sec)");
    EXPECT_FALSE (PageView (page).action->isEnabled());
    EXPECT_TRUE (page.isTimerRunning());
    EXPECT_EQ (page.getTimerInterval(), 1000);

    for (int tick = 1; tick <= 14; ++tick)
        page.timerCallback();
    EXPECT_EQ (PageView (page).action->getButtonText(), "COLLECT (1 sec)");
    EXPECT_FALSE (PageView (page).action->isEnabled());

    page.timerCallback(); // the fifteenth
    EXPECT_EQ (PageView (page).action->getButtonText(), "COLLECT");
    EXPECT_TRUE (PageView (page).action->isEnabled());
    EXPECT_FALSE (page.isTimerRunning());
}

TEST (LoggingPage, CountdownRestartsAndOutlastsSetActionButton)
{
    LoggingPage page;
    page.startActionCountdown ("FIRST");
    for (int tick = 0; tick < 5; ++tick)
        page.timerCallback();
    page.startActionCountdown ("COLLECT");
    EXPECT_EQ (PageView (page).action->getButtonText(), "COLLECT (15 sec)");

    // A caption set meanwhile holds only until the next tick.
    page.setActionButton ("OTHER", true);
    EXPECT_EQ (PageView (page).action->getButtonText(), "OTHER");
    EXPECT_TRUE (PageView (page).action->isEnabled());
    page.timerCallback();
    EXPECT_EQ (PageView (page).action->getButtonText(), "COLLECT (14 sec)");
    EXPECT_FALSE (PageView (page).action->isEnabled());

    for (int tick = 0; tick < 14; ++tick)
        page.timerCallback();
    EXPECT_EQ (PageView (page).action->getButtonText(), "COLLECT");
    EXPECT_TRUE (PageView (page).action->isEnabled());
}

TEST (LoggingPage, PrintMsgAppendsALineAndLogsIt)
{
    testing_support::ScopedCapture capture;
    LoggingPage page;
    page.printMsg ("first");
    page.printMsg ("");
    page.printMsg ("\nafter an empty line");
    EXPECT_EQ (PageView (page).log->getText(), "first\n\n\nafter an empty line\n");
    EXPECT_EQ (capture.sink->messages(), (std::vector<std::string> { "first", "", "\nafter an empty line" }));
    const auto lines = capture.sink->lines();
    ASSERT_FALSE (lines.empty());
    EXPECT_TRUE (lines[0].starts_with ("[INFO ]< Triagent  >{LoggingPage.cpp:")) << lines[0];
}

TEST (LoggingPage, ButtonsAndSpinnerFollowTheStates)
{
    LoggingPage page;
    page.setInstruction ("Text");
    page.setActionButton ("ENABLING ...", false);
    page.setCloseButton ("CLOSE", false);
    page.showSpinner (true);
    EXPECT_EQ (PageView (page).label->getText(), "Text");
    EXPECT_FALSE (PageView (page).action->isEnabled());
    EXPECT_FALSE (PageView (page).close->isEnabled());
    EXPECT_TRUE (PageView (page).spinner->isVisible());
    page.showSpinner (false);
    EXPECT_FALSE (PageView (page).spinner->isVisible());
}

TEST (LoggingPage, LayoutCells)
{
    LoggingPage page;
    page.setSize (800, 470);
    // g = 12.5, inset 12: grid area (12, 12, 776, 446). Rows 1/1/2/4 fr share
    // 446 - 3 * 12.5; columns 3/1 fr share 776 - 12.5.
    const double fr = (446 - 37.5) / 8, col = (776 - 12.5) / 4;
    const double right = 12 + 3 * col + 12.5;
    // The grid rounds fractional tracks to whole pixels.
    const auto near = [] (juce::Rectangle<int> r, double x, double y, double w, double h) {
        return std::abs (r.getX() - x) <= 2 && std::abs (r.getY() - y) <= 2 && std::abs (r.getWidth() - w) <= 2
               && std::abs (r.getHeight() - h) <= 2;
    };
    EXPECT_TRUE (near (PageView (page).label->getBounds(), 12, 12, 3 * col, 4 * fr + 25)) << PageView (page).label->getBounds().toString();
    EXPECT_TRUE (near (PageView (page).action->getBounds(), right, 12, col, fr)) << PageView (page).action->getBounds().toString();
    EXPECT_TRUE (near (PageView (page).close->getBounds(), right, 12 + fr + 12.5, col, fr)) << PageView (page).close->getBounds().toString();
    EXPECT_TRUE (near (PageView (page).spinner->getBounds(), right, 12 + 2 * fr + 25, col, 2 * fr)) << PageView (page).spinner->getBounds().toString();
    EXPECT_TRUE (near (PageView (page).log->getBounds(), 12, 12 + 4 * fr + 37.5, 776, 4 * fr)) << PageView (page).log->getBounds().toString();
    EXPECT_FLOAT_EQ (PageView (page).label->getFont().getHeight(), 470.0f / 16);
    EXPECT_FLOAT_EQ (PageView (page).log->getFont().getHeight(), 470.0f / 32);
}

TEST (Spinner, DrawsTheWaitAnimationInItsBounds)
{
    Spinner spinner (juce::Colours::white);
    EXPECT_EQ (spinner.colour, juce::Colours::white);
    spinner.setSize (40, 40);
    // It draws the look-and-feel's animation into its own bounds.
    juce::Image image (juce::Image::ARGB, 40, 40, true);
    juce::Graphics g (image);
    spinner.paint (g);
    bool drewSomething = false;
    for (int y = 0; y < 40 && ! drewSomething; ++y)
        for (int x = 0; x < 40 && ! drewSomething; ++x)
            drewSomething = image.getPixelAt (x, y).getAlpha() > 0;
    EXPECT_TRUE (drewSomething);
}
