#include "Util/Platform.h"
#include "Util/Process.h"

#include <cstring>
#include <vector>

namespace process
{
juce::String decodeOutput (const char* data, size_t size)
{
    const auto* bytes = reinterpret_cast<const unsigned char*> (data);

    if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE)
    {
        std::vector<juce::CharPointer_UTF16::CharType> units;
        units.reserve (size / 2);
        for (size_t i = 2; i + 1 < size; i += 2)
        {
            const auto unit = static_cast<juce::CharPointer_UTF16::CharType> (bytes[i] | (bytes[i + 1] << 8));
            if (unit == 0)
                break;
            units.push_back (unit);
        }
        units.push_back (0);
        return juce::String (juce::CharPointer_UTF16 (units.data()));
    }

    // 8-bit text ends at its first zero byte.
    const auto* end = static_cast<const char*> (std::memchr (data, 0, size));
    auto length = end != nullptr ? static_cast<size_t> (end - data) : size;
    if (length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
    {
        data += 3;
        length -= 3;
    }

    if (juce::CharPointer_UTF8::isValidString (data, static_cast<int> (length)))
        return juce::String::fromUTF8 (data, static_cast<int> (length));

    return util::platform::decodeLegacy8Bit (data, length);
}

} // namespace process
