#pragma once

#include <any>
#include <optional>
#include <variant>

#include <juce_core/juce_core.h>

class LogCollector;

// The two things a cell of the transition table (and the reset page) may do
// instead of moving on. Tests put their own in place of the system's.
class WizardActions
{
public:
    virtual ~WizardActions() = default;
    virtual void quitApplication() = 0;
    virtual void revealToUser (const juce::File& file) = 0;
};

// The system's: JUCEApplication::quit and the file manager (call it on the message thread).
WizardActions& systemWizardActions();

namespace state
{
struct ShowInfo
{
    void enter (LogCollector&) const;
};
struct BeforeEnableLog
{
    void enter (LogCollector&) const;
};
struct EnableLog
{
    void enter (LogCollector&) const;
    void leave (LogCollector&) const;
};
struct RunVorn
{
    void enter (LogCollector&) const;
};
struct CollectInfo
{
    void enter (LogCollector&) const;
    void leave (LogCollector&) const;
};
struct Export
{
    void enter (LogCollector&) const;
    void leave (LogCollector&) const;
};
struct Finish
{
    juce::File zipFile;
    void enter (LogCollector&) const;
};
struct Fail
{
    void enter (LogCollector&) const;
};
} // namespace state

using State = std::variant<state::ShowInfo, state::BeforeEnableLog, state::EnableLog, state::RunVorn,
                           state::CollectInfo, state::Export, state::Finish, state::Fail>;

namespace event
{
struct Next
{
};
struct Close
{
};
struct Completed
{
    bool success = false;
    std::any result; // the exported zip's juce::File after a successful export
};
} // namespace event

using Event = std::variant<event::Next, event::Close, event::Completed>;

// One cell of the transition table; empty: no transition (the event is dropped,
// or a side-effect cell has done its work).
std::optional<State> transition (const State& current, const Event& event, WizardActions& actions);

void enter (const State& state, LogCollector& collector);
void leave (const State& state, LogCollector& collector);
