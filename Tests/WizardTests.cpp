#include <gtest/gtest.h>

#include "WizardStates.h"

namespace
{
struct RecordingActions : WizardActions
{
    void quitApplication() override { ++quits; }
    void revealToUser (const juce::File& file) override { revealed.push_back (file); }
    int quits = 0;
    std::vector<juce::File> revealed;
};

enum S
{
    ShowInfo,
    BeforeEnableLog,
    EnableLog,
    RunVorn,
    CollectInfo,
    Export,
    Finish,
    Fail,
    None = -1
};

State make (S s)
{
    switch (s)
    {
        case ShowInfo: return state::ShowInfo {};
        case BeforeEnableLog: return state::BeforeEnableLog {};
        case EnableLog: return state::EnableLog {};
        case RunVorn: return state::RunVorn {};
        case CollectInfo: return state::CollectInfo {};
        case Export: return state::Export {};
        case Finish: return state::Finish { juce::File ("/docs/Lumacore/VORN_LOG_20250101000000.zip") };
        case Fail: return state::Fail {};
        case None: break;
    }
    return {};
}

const juce::File zip ("/docs/Lumacore/VORN_LOG_20251209150705.zip");
} // namespace

TEST (WizardTransitions, EveryCellOfTheTable)
{
    enum Ev
    {
        Next,
        Close,
        Succeeded,
        Failed
    };
    struct Cell
    {
        S from;
        Ev event;
        S to;
        int quits;
        bool reveals;
    };
    // Every (state, event) pair: the table's cells and the dropped ones.
    const Cell cells[] = {
        { ShowInfo, Next, BeforeEnableLog, 0, false },  { ShowInfo, Close, None, 1, false },
        { ShowInfo, Succeeded, None, 0, false },         { ShowInfo, Failed, None, 0, false },
        { BeforeEnableLog, Next, EnableLog, 0, false },  { BeforeEnableLog, Close, None, 1, false },
        { BeforeEnableLog, Succeeded, None, 0, false },  { BeforeEnableLog, Failed, None, 0, false },
        { EnableLog, Next, None, 0, false },             { EnableLog, Close, None, 0, false },
        { EnableLog, Succeeded, RunVorn, 0, false },     { EnableLog, Failed, Fail, 0, false },
        { RunVorn, Next, CollectInfo, 0, false },        { RunVorn, Close, None, 1, false },
        { RunVorn, Succeeded, None, 0, false },          { RunVorn, Failed, None, 0, false },
        { CollectInfo, Next, None, 0, false },           { CollectInfo, Close, None, 0, false },
        { CollectInfo, Succeeded, Export, 0, false },    { CollectInfo, Failed, Fail, 0, false },
        { Export, Next, None, 0, false },                { Export, Close, None, 0, false },
        { Export, Succeeded, Finish, 0, false },         { Export, Failed, Fail, 0, false },
        { Finish, Next, None, 0, true },                 { Finish, Close, None, 1, false },
        { Finish, Succeeded, None, 0, false },           { Finish, Failed, None, 0, false },
        { Fail, Next, ShowInfo, 0, false },              { Fail, Close, None, 1, false },
        { Fail, Succeeded, None, 0, false },             { Fail, Failed, None, 0, false },
    };
    for (const auto& cell : cells)
    {
        SCOPED_TRACE (testing::Message() << "state " << cell.from << " event " << cell.event);
        RecordingActions actions;
        Event ev = event::Next {};
        switch (cell.event)
        {
            case Next: ev = event::Next {}; break;
            case Close: ev = event::Close {}; break;
            case Succeeded: ev = event::Completed { true, cell.from == Export ? std::any (zip) : std::any() }; break;
            case Failed: ev = event::Completed { false, {} }; break;
        }
        const auto result = transition (make (cell.from), ev, actions);

        if (cell.to == None)
        {
            EXPECT_FALSE (result.has_value());
        }
        else
        {
            ASSERT_TRUE (result.has_value()) << "expected state " << cell.to;
            EXPECT_EQ (result->index(), static_cast<size_t> (cell.to));
        }
        EXPECT_EQ (actions.quits, cell.quits);
        EXPECT_EQ (actions.revealed.size(), cell.reveals ? 1u : 0u);
    }
}

TEST (WizardTransitions, ExportCarriesTheZipIntoFinishAndFinishRevealsIt)
{
    RecordingActions actions;
    const auto finish = transition (state::Export {}, event::Completed { true, zip }, actions);
    ASSERT_TRUE (finish.has_value());
    ASSERT_TRUE (std::holds_alternative<state::Finish> (*finish));
    EXPECT_EQ (std::get<state::Finish> (*finish).zipFile, zip);

    // SEE ZIP FILE any number of times: the file manager each time, the state stays.
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE (transition (*finish, event::Next {}, actions).has_value());
    EXPECT_EQ (actions.revealed, std::vector<juce::File> (3, zip));

    // A successful export without a file cannot reach Finish.
    const auto broken = transition (state::Export {}, event::Completed { true, {} }, actions);
    ASSERT_TRUE (broken.has_value());
    EXPECT_TRUE (std::holds_alternative<state::Fail> (*broken));
}

TEST (WizardStates, FreshStateIsTheFirstScreen)
{
    EXPECT_TRUE (std::holds_alternative<state::ShowInfo> (State {}));
}
