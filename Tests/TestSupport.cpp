#include "TestSupport.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "Util/UtilWindows.h"

namespace testing_support
{
juce::File sandbox()
{
    return juce::File (juce::SystemStats::getEnvironmentVariable ("TRIAGENT_TEST_SANDBOX", {})
                           .upToFirstOccurrenceOf (";", false, false));
}

bool pumpUntil (const std::function<bool()>& predicate, int timeoutMs)
{
    const auto deadline = juce::Time::getMillisecondCounterHiRes() + timeoutMs;
    while (! predicate())
    {
        if (juce::Time::getMillisecondCounterHiRes() > deadline)
            return predicate();
        if (auto* mm = juce::MessageManager::getInstanceWithoutCreating(); mm != nullptr && mm->isThisTheMessageThread())
            mm->runDispatchLoopUntil (5);
        else
            juce::Thread::sleep (5);
    }
    return true;
}

juce::File touch (const juce::File& file, const juce::String& text)
{
    EXPECT_TRUE (file.getParentDirectory().createDirectory().wasOk());
    EXPECT_TRUE (file.replaceWithText (text));
    return file;
}

juce::File writeScript (const juce::File& file, const juce::String& body)
{
    file.getParentDirectory().createDirectory();
    file.replaceWithText ("#!/bin/sh\n" + body + "\n", false, false, "\n");
    file.setExecutePermission (true);
    return file;
}

void CaptureSink::write (const lumo::log::Record* record, std::string_view message)
{
    std::lock_guard guard (lock);
    received.emplace_back (message);
    formatted.push_back (record != nullptr ? lumo::log::formatLine (*record, message) : std::string (message));
}

std::vector<std::string> CaptureSink::messages()
{
    std::lock_guard guard (lock);
    return received;
}

std::vector<std::string> CaptureSink::lines()
{
    std::lock_guard guard (lock);
    return formatted;
}

bool CaptureSink::contains (const std::string& message)
{
    std::lock_guard guard (lock);
    return std::find (received.begin(), received.end(), message) != received.end();
}

ScopedCapture::ScopedCapture() : sink (std::make_shared<CaptureSink>()), previous (lumo::log::globalSinks)
{
    lumo::log::setSinks ({ sink });
}

ScopedCapture::~ScopedCapture()
{
    lumo::log::setSinks (previous);
}

} // namespace testing_support
