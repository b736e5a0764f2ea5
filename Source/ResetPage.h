#pragma once

#include <optional>

#include <juce_gui_basics/juce_gui_basics.h>

#include "WizardStates.h"

// Moves the product's documents folder to "<name>_BACKUP_<stamp>" beside it.
// Empty when the folder does not exist or the move fails.
std::optional<juce::File> backupAndReset();

// "Backup & Reset": backs up and resets the product's configuration after a
// two-click confirmation.
class ResetPage : public juce::Component
{
public:
    // actions: what CLOSE and SEE BACKUP do (the system's when null).
    explicit ResetPage (WizardActions* actions = nullptr);
    void resized() override;

    void onActionClicked();
    void appendMsg (const juce::String& msg);

private:
    enum class Stage
    {
        Idle = 0,
        Confirming = 1,
        BackedUp = 2
    };

    void initComponents();

    WizardActions& sideEffects;
    juce::Label descriptionLabel;
    juce::TextButton actionButton;
    juce::TextButton closeButton;
    juce::TextEditor logView;
    Stage stage = Stage::Idle;
    std::optional<juce::File> backupDir;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ResetPage)
};
