#include "MainComponent.h"

#include "ContentSize.h"
#include "Log/Log.h"
#include "Util/Journal.h"

MainComponent::MainComponent()
{
    lumo::log::setupLogging();
    // Before the user can switch anything on: what an earlier run left on goes off.
    util::recoverSwitches();
    addAndMakeVisible (tabView);

    if (const auto* display = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay())
    {
        const auto size = computeContentSize (display->userArea.getWidth(), display->userArea.getHeight());
        setSize (size.width, size.height);
    }
}

MainComponent::~MainComponent() = default;

void MainComponent::resized()
{
    tabView.setSize (getWidth(), getHeight());
}
