#pragma once

// A crash-dump registry of the test's own (the real one is tested under Wine).

#include <optional>
#include <vector>

#include "Util/Journal.h"

namespace testing_support
{
// A registry holding the product key and the LocalDumps key above it.
struct FakeRegistry : util::CrashDumpRegistry
{
    std::optional<std::vector<util::RegistryValue>> productKey;
    bool localDumps = false;

    bool localDumpsExists() override { return localDumps || productKey.has_value(); }
    std::optional<std::vector<util::RegistryValue>> readProductKey() override { return productKey; }
    bool writeProductValues (const std::vector<util::RegistryValue>& values) override
    {
        localDumps = true;
        if (! productKey)
            productKey.emplace();
        for (const auto& value : values)
        {
            std::erase_if (*productKey, [&] (const auto& v) { return v.name == value.name; });
            productKey->push_back (value);
        }
        return true;
    }
    bool deleteProductValues (const juce::StringArray& names) override
    {
        if (! productKey || refuseDeletes)
            return false;
        std::erase_if (*productKey, [&] (const auto& v) { return names.contains (v.name); });
        return true;
    }
    bool deleteProductKey() override
    {
        const bool existed = productKey.has_value();
        if (refuseDeletes)
            return false;
        productKey.reset();
        return existed;
    }
    bool deleteLocalDumpsIfEmpty() override
    {
        if (productKey || ! localDumps)
            return true; // kept for the product key, or gone already
        if (refuseDeletes)
            return false;
        localDumps = false;
        return true;
    }
    bool writeRecord (const std::vector<util::RegistryValue>& values) override
    {
        record = values;
        return true;
    }
    std::optional<std::vector<util::RegistryValue>> readRecord() override { return record; }
    bool deleteRecord() override
    {
        record.reset();
        return true;
    }

    std::optional<std::vector<util::RegistryValue>> record; // the machine record
    bool refuseDeletes = false;                             // a registry that refuses to delete
};

} // namespace testing_support
