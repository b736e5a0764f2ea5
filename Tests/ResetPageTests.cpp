#include <gtest/gtest.h>

#include "PageLayout.h"
#include "PageView.h"
#include "ResetPage.h"
#include "TestSupport.h"
#include "Util/UtilWindows.h"

using testing_support::pumpUntil;

namespace
{
class ResetPageTest : public ::testing::Test
{
protected:
    void click()
    {
        const auto before = view.log->getText();
        const auto captionBefore = view.action->getButtonText();
        view.action->triggerClick();
        // triggerClick is asynchronous: wait until the click has been handled.
        pumpUntil ([&] {
            return view.log->getText() != before || view.action->getButtonText() != captionBefore;
        }, 1000);
    }

    juce::File makeProductFolder()
    {
        const auto folder = util::getProductDocFolder();
        EXPECT_TRUE (folder.getChildFile ("presets").createDirectory().wasOk());
        EXPECT_TRUE (folder.getChildFile ("presets/user.preset").replaceWithText ("preset data"));
        EXPECT_TRUE (folder.getChildFile ("config.xml").replaceWithText ("<config/>"));
        return folder;
    }

    // What SEE BACKUP and CLOSE do, recorded instead of a file manager and a quit.
    struct Actions : WizardActions
    {
        void quitApplication() override { ++quits; }
        void revealToUser (const juce::File& file) override { revealed.push_back (file); }
        int quits = 0;
        std::vector<juce::File> revealed;
    } actions;
    ResetPage page { &actions };
    PageView view { page };
};
} // namespace

TEST_F (ResetPageTest, ConstructionShowsTheDescriptionAndButtons)
{
    EXPECT_EQ (view.label->getText(),
               "Press `BACKUP & RESET` to back up the VORN X configurations before it is reset.\n\n");
    EXPECT_EQ (view.action->getButtonText(), "BACKUP & RESET");
    EXPECT_EQ (view.close->getButtonText(), "CLOSE");
    EXPECT_TRUE (view.log->isReadOnly());
    EXPECT_FALSE (view.log->isEnabled());
    EXPECT_TRUE (view.log->isMultiLine());
}

TEST_F (ResetPageTest, FirstClickOnlyArms)
{
    const auto folder = makeProductFolder();
    click();

    EXPECT_EQ (view.action->getButtonText(), "BACKUP & RESET (confirm?)");
    EXPECT_EQ (view.log->getText(), "Ready to BACKUP & RESET\nPlease click again to confirm BACKUP & RESET\n");
    EXPECT_TRUE (folder.getChildFile ("config.xml").existsAsFile());
    EXPECT_EQ (folder.getParentDirectory().getNumberOfChildFiles (juce::File::findFilesAndDirectories), 1);
}

TEST_F (ResetPageTest, SecondClickMovesTheFolderUnderATimeStampedName)
{
    const auto folder = makeProductFolder();
    click();
    click();

    EXPECT_EQ (view.action->getButtonText(), "SEE BACKUP");
    EXPECT_TRUE (view.log->getText().endsWith ("Please click again to confirm BACKUP & RESET\nBACKUP & RESET done\n"));

    const auto backups = folder.getParentDirectory().findChildFiles (juce::File::findDirectories, false, "VORN_X_BACKUP_*");
    ASSERT_EQ (backups.size(), 1);
    const auto backup = backups[0];
    EXPECT_FALSE (folder.exists());
    EXPECT_EQ (backup.getParentDirectory(), folder.getParentDirectory());
    const auto name = backup.getFileName();
    EXPECT_TRUE (name.startsWith ("VORN_X_BACKUP_"));
    const auto stamp = name.fromFirstOccurrenceOf ("VORN_X_BACKUP_", false, false);
    EXPECT_EQ (stamp.length(), 14);
    EXPECT_TRUE (stamp.containsOnly ("0123456789"));
    EXPECT_EQ (backup.getChildFile ("presets/user.preset").loadFileAsString(), "preset data");
    EXPECT_EQ (backup.getChildFile ("config.xml").loadFileAsString(), "<config/>");

    // Later clicks only show the backup in the file manager: no message, no change.
    const auto logBefore = view.log->getText();
    page.onActionClicked();
    page.onActionClicked();
    EXPECT_EQ (view.log->getText(), logBefore);
    EXPECT_EQ (view.action->getButtonText(), "SEE BACKUP");
    EXPECT_EQ (actions.revealed, (std::vector<juce::File> { backup, backup }));
    EXPECT_TRUE (backup.isDirectory());

    view.close->triggerClick();
    EXPECT_TRUE (pumpUntil ([&] { return actions.quits == 1; }));
}

TEST_F (ResetPageTest, SecondClickWithoutTheFolderFailsAndStartsAfresh)
{
    ASSERT_FALSE (util::getProductDocFolder().exists());
    click();
    click();

    EXPECT_EQ (view.action->getButtonText(), "BACKUP & RESET");
    EXPECT_TRUE (util::getMakerDocFolder().findChildFiles (juce::File::findDirectories, false, "VORN_X_BACKUP_*").isEmpty());
    EXPECT_TRUE (view.log->getText().endsWith ("confirm BACKUP & RESET\nFailed to BACKUP & RESET\n"));

    click();
    EXPECT_EQ (view.action->getButtonText(), "BACKUP & RESET (confirm?)");
    EXPECT_TRUE (view.log->getText().endsWith (
        "Failed to BACKUP & RESET\nReady to BACKUP & RESET\nPlease click again to confirm BACKUP & RESET\n"));
    EXPECT_FALSE (util::getMakerDocFolder().exists());
}

TEST_F (ResetPageTest, LayoutCells)
{
    page.setSize (800, 470);
    // g = 12.5, inset m = 12: the grid area is (12, 12, 776, 446).
    // Rows 6fr/1fr/1fr share 446 - 2 * 12.5; columns 3fr/1fr share 776 - 12.5.
    const double rowUnit = (446 - 25.0) / 8, colUnit = (776 - 12.5) / 4;
    const auto near = [] (juce::Rectangle<int> r, double x, double y, double w, double h)
    {
        return std::abs (r.getX() - x) <= 1 && std::abs (r.getY() - y) <= 1 && std::abs (r.getWidth() - w) <= 1
               && std::abs (r.getHeight() - h) <= 1;
    };
    const double row2 = 12 + 6 * rowUnit + 12.5, row3 = row2 + rowUnit + 12.5, col2 = 12 + 3 * colUnit + 12.5;
    EXPECT_TRUE (near (view.label->getBounds(), 12, 12, 776, 6 * rowUnit)) << view.label->getBounds().toString();
    EXPECT_TRUE (near (view.action->getBounds(), col2, row2, colUnit, rowUnit)) << view.action->getBounds().toString();
    EXPECT_TRUE (near (view.close->getBounds(), col2, row3, colUnit, rowUnit)) << view.close->getBounds().toString();
    EXPECT_TRUE (near (view.log->getBounds(), 12, row2, 3 * colUnit, 2 * rowUnit + 12.5)) << view.log->getBounds().toString();

    EXPECT_FLOAT_EQ (view.label->getFont().getHeight(), 470.0f / 16);
    EXPECT_FLOAT_EQ (view.log->getFont().getHeight(), 470.0f / 32);
}

TEST (PageLayout, InsetNeverGoesNegative)
{
    EXPECT_EQ (pageGridArea (63, 40), juce::Rectangle<int> (0, 0, 63, 40)); // m = 0 below 64 pixels
    EXPECT_EQ (pageGridArea (640, 10), juce::Rectangle<int> (10, 10, 620, 0));
    EXPECT_EQ (pageGridArea (800, 500), juce::Rectangle<int> (12, 12, 776, 476));
}
