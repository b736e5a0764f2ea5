#include "ResetPage.h"

#include "PageLayout.h"
#include "Timestamp.h"
#include "Log/Log.h"
#include "Util/UserFiles.h"
#include "Util/UtilWindows.h"

#include <fmt/format.h>

LUMO_LOG_FILE_LOGGER

namespace
{
const juce::String kButtonText ("BACKUP & RESET");
}

std::optional<juce::File> backupAndReset()
{
    const auto folder = util::getProductDocFolder();
    if (folder == juce::File() || ! folder.exists())
        return std::nullopt;

    const auto target = folder.getSiblingFile (folder.getFileName() + "_BACKUP_" + currentTimestamp());
    // Only a real folder in a real parent, onto a name that is not there: never
    // merged into an earlier backup, never moved through a link or junction.
    if (! util::files::moveFolderWithinParent (folder, target.getFileName()))
    {
        LUMO_LOG_INFO ("Cannot move the product folder aside (a link, a junction, or its backup name is taken): {}",
                       folder.getFullPathName().toStdString());
        return std::nullopt;
    }
    return target;
}

ResetPage::ResetPage (WizardActions* actions) : sideEffects (actions != nullptr ? *actions : systemWizardActions())
{
    initComponents();
}

void ResetPage::initComponents()
{
    const auto description = fmt::format (
        "Press `BACKUP & RESET` to back up the {} configurations before it is reset.\n\n", util::kProductName);
    descriptionLabel.setText (juce::String::fromUTF8 (description.c_str()), juce::dontSendNotification);
    descriptionLabel.setJustificationType (juce::Justification::topLeft);
    addAndMakeVisible (descriptionLabel);

    actionButton.setButtonText (kButtonText);
    actionButton.setMouseCursor (juce::MouseCursor::PointingHandCursor);
    actionButton.onClick = [this] { onActionClicked(); };
    addAndMakeVisible (actionButton);

    closeButton.setButtonText ("CLOSE");
    closeButton.setMouseCursor (juce::MouseCursor::PointingHandCursor);
    closeButton.onClick = [this] { sideEffects.quitApplication(); };
    addAndMakeVisible (closeButton);

    setUpMessageLog (*this, logView);
}

void ResetPage::onActionClicked()
{
    switch (stage)
    {
        case Stage::Idle:
            actionButton.setButtonText (kButtonText + " (confirm?)");
            appendMsg ("Ready to " + kButtonText);
            appendMsg ("Please click again to confirm " + kButtonText);
            stage = Stage::Confirming;
            break;

        case Stage::Confirming:
            backupDir = backupAndReset();
            if (backupDir)
            {
                actionButton.setButtonText ("SEE BACKUP");
                appendMsg (kButtonText + " done");
                stage = Stage::BackedUp;
            }
            else
            {
                actionButton.setButtonText (kButtonText);
                appendMsg ("Failed to " + kButtonText);
                stage = Stage::Idle;
            }
            break;

        case Stage::BackedUp:
            if (backupDir)
                sideEffects.revealToUser (*backupDir);
            break;
    }
}

void ResetPage::appendMsg (const juce::String& msg)
{
    appendToMessageLog (logView, msg);
}

void ResetPage::resized()
{
    auto grid = makePageGrid (getWidth(), { 6, 1, 1 });
    grid.items = {
        juce::GridItem (descriptionLabel).withArea (1, 1, 2, 3),
        juce::GridItem (actionButton).withArea (2, 2, 3, 3),
        juce::GridItem (closeButton).withArea (3, 2, 4, 3),
        juce::GridItem (logView).withArea (2, 1, 4, 2),
    };
    layOutPage (grid, *this, descriptionLabel, logView);
}
