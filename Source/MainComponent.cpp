#include "MainComponent.h"

#include "ContentSize.h"
#include "Log/Log.h"

MainComponent::MainComponent()
{
    lumo::log::setupLogging();
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
