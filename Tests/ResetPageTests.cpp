#include <gtest/gtest.h>

#include "PageLayout.h"
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
        const auto before = page.logView.getText();
        const auto captionBefore = page.actionButton.getButtonText();
        const auto stageBefore = page.stage;
        page.actionButton.triggerClick();
        // triggerClick is asynchronous: wait until the click has been handled.
        pumpUntil ([&] {
            return page.logView.getText() != before || page.actionButton.getButtonText() != captionBefore
                   || page.stage != stageBefore;
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

    ResetPage page;
};
} // namespace

TEST_F (ResetPageTest, ConstructionShowsTheDescriptionAndButtons)
{
    EXPECT_EQ (page.descriptionLabel.getText(),
               "Press `BACKUP & RESET` to back up the VORN X configurations before it is reset.\n\n");
    EXPECT_EQ (page.actionButton.getButtonText(), "BACKUP & RESET");
    EXPECT_EQ (page.closeButton.getButtonText(), "CLOSE");
    EXPECT_TRUE (page.logView.isReadOnly());
    EXPECT_FALSE (page.logView.isEnabled());
    EXPECT_TRUE (page.logView.isMultiLine());
    EXPECT_EQ (page.stage, ResetPage::Stage::Idle);
}

TEST_F (ResetPageTest, FirstClickOnlyArms)
{
    const auto folder = makeProductFolder();
    click();

    EXPECT_EQ (page.actionButton.getButtonText(), "BACKUP & RESET (confirm?)");
    EXPECT_EQ (page.logView.getText(), "Ready to BACKUP & RESET\nPlease click again to confirm BACKUP & RESET\n");
    EXPECT_EQ (page.stage, ResetPage::Stage::Confirming);
    EXPECT_TRUE (folder.getChildFile ("config.xml").existsAsFile());
    EXPECT_EQ (folder.getParentDirectory().getNumberOfChildFiles (juce::File::findFilesAndDirectories), 1);
}

TEST_F (ResetPageTest, SecondClickMovesTheFolderUnderATimeStampedName)
{
    const auto folder = makeProductFolder();
    click();
    click();

    EXPECT_EQ (page.stage, ResetPage::Stage::BackedUp);
    EXPECT_EQ (page.actionButton.getButtonText(), "SEE BACKUP");
    EXPECT_TRUE (page.logView.getText().endsWith ("Please click again to confirm BACKUP & RESET\nBACKUP & RESET done\n"));

    ASSERT_TRUE (page.backupDir.has_value());
    const auto backup = *page.backupDir;
    EXPECT_FALSE (folder.exists());
    EXPECT_EQ (backup.getParentDirectory(), folder.getParentDirectory());
    const auto name = backup.getFileName();
    EXPECT_TRUE (name.startsWith ("VORN_X_BACKUP_"));
    const auto stamp = name.fromFirstOccurrenceOf ("VORN_X_BACKUP_", false, false);
    EXPECT_EQ (stamp.length(), 14);
    EXPECT_TRUE (stamp.containsOnly ("0123456789"));
    EXPECT_EQ (backup.getChildFile ("presets/user.preset").loadFileAsString(), "preset data");
    EXPECT_EQ (backup.getChildFile ("config.xml").loadFileAsString(), "<config/>");

    // Later clicks only show the backup: no message, no change.
    const auto logBefore = page.logView.getText();
    page.onActionClicked();
    page.onActionClicked();
    EXPECT_EQ (page.logView.getText(), logBefore);
    EXPECT_EQ (page.stage, ResetPage::Stage::BackedUp);
    EXPECT_TRUE (backup.isDirectory());
}

TEST_F (ResetPageTest, SecondClickWithoutTheFolderFailsAndStartsAfresh)
{
    ASSERT_FALSE (util::getProductDocFolder().exists());
    click();
    click();

    EXPECT_EQ (page.stage, ResetPage::Stage::Idle);
    EXPECT_EQ (page.actionButton.getButtonText(), "BACKUP & RESET");
    EXPECT_FALSE (page.backupDir.has_value());
    EXPECT_TRUE (page.logView.getText().endsWith ("confirm BACKUP & RESET\nFailed to BACKUP & RESET\n"));

    click();
    EXPECT_EQ (page.stage, ResetPage::Stage::Confirming);
    EXPECT_TRUE (page.logView.getText().endsWith (
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
    EXPECT_TRUE (near (page.descriptionLabel.getBounds(), 12, 12, 776, 6 * rowUnit)) << page.descriptionLabel.getBounds().toString();
    EXPECT_TRUE (near (page.actionButton.getBounds(), col2, row2, colUnit, rowUnit)) << page.actionButton.getBounds().toString();
    EXPECT_TRUE (near (page.closeButton.getBounds(), col2, row3, colUnit, rowUnit)) << page.closeButton.getBounds().toString();
    EXPECT_TRUE (near (page.logView.getBounds(), 12, row2, 3 * colUnit, 2 * rowUnit + 12.5)) << page.logView.getBounds().toString();

    EXPECT_FLOAT_EQ (page.descriptionLabel.getFont().getHeight(), 470.0f / 16);
    EXPECT_FLOAT_EQ (page.logView.getFont().getHeight(), 470.0f / 32);
}

TEST (PageLayout, InsetNeverGoesNegative)
{
    EXPECT_EQ (pageGridArea (63, 40), juce::Rectangle<int> (0, 0, 63, 40)); // m = 0 below 64 pixels
    EXPECT_EQ (pageGridArea (640, 10), juce::Rectangle<int> (10, 10, 620, 0));
    EXPECT_EQ (pageGridArea (800, 500), juce::Rectangle<int> (12, 12, 776, 476));
}
