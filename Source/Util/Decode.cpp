#include "Util/Platform.h"
#include "Util/Process.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace process
{
namespace
{
using Bytes = const unsigned char*;

// Where UTF-16LE text begins: a byte-order mark, or two code units of ASCII
// (a character, then a zero byte, twice), as WMIC writes its error text.
size_t findUtf16 (Bytes bytes, size_t size)
{
    for (size_t i = 0; i + 1 < size; ++i)
    {
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xFE)
            return i;
        if (i + 3 < size && bytes[i] != 0 && bytes[i + 1] == 0 && bytes[i + 2] != 0 && bytes[i + 3] == 0)
            return i;
    }
    return size;
}

juce::String decodeUtf16 (Bytes bytes, size_t size)
{
    size_t i = 0;
    if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE)
        i = 2;
    std::vector<juce::CharPointer_UTF16::CharType> units;
    units.reserve (size / 2 + 1);
    for (; i + 1 < size; i += 2)
    {
        const auto unit = static_cast<juce::CharPointer_UTF16::CharType> (bytes[i] | (bytes[i + 1] << 8));
        if (unit == 0)
            break;
        units.push_back (unit);
    }
    // A surrogate cut off by the buffer's end is dropped.
    if (const auto lastUnit = units.empty() ? 0 : static_cast<std::uint16_t> (units.back()); lastUnit >= 0xD800 && lastUnit <= 0xDBFF)
        units.pop_back();
    units.push_back (0);
    return juce::String (juce::CharPointer_UTF16 (units.data()));
}

// The length without a multi-byte sequence that the end of the buffer cut short.
size_t withoutCutSequence (Bytes bytes, size_t length)
{
    for (size_t back = 1; back <= 3 && back <= length; ++back)
    {
        const auto byte = bytes[length - back];
        if ((byte & 0xC0) == 0x80)
            continue; // a continuation byte: look further back for its lead
        const size_t needed = (byte & 0xE0) == 0xC0 ? 2 : (byte & 0xF0) == 0xE0 ? 3 : (byte & 0xF8) == 0xF0 ? 4 : 1;
        return needed > back ? length - back : length;
    }
    return length;
}

juce::String decode8Bit (const char* data, size_t size, bool& legacy)
{
    legacy = false;
    const auto* bytes = reinterpret_cast<Bytes> (data);
    // 8-bit text ends at its first zero byte.
    const auto* end = static_cast<const char*> (std::memchr (data, 0, size));
    auto length = end != nullptr ? static_cast<size_t> (end - data) : size;
    if (length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
    {
        data += 3;
        bytes += 3;
        length -= 3;
    }

    // A sequence cut short at the end is dropped only where the rest shows
    // UTF-8 of its own: "fran\xe7" is 8-bit text, not a cut character.
    const auto whole = withoutCutSequence (bytes, length);
    const bool restIsAscii = std::all_of (bytes, bytes + whole, [] (unsigned char b) { return b < 0x80; });
    if ((whole == length || ! restIsAscii) && juce::CharPointer_UTF8::isValidString (data, static_cast<int> (whole)))
        return juce::String::fromUTF8 (data, static_cast<int> (whole));

    legacy = true;
    return util::platform::decodeLegacy8Bit (data, length);
}
} // namespace

juce::String decodeOutput (const char* data, size_t size, juce::String* decoding)
{
    const auto* bytes = reinterpret_cast<Bytes> (data);
    // Standard output and error share one pipe: 8-bit text may come before UTF-16.
    const auto utf16 = findUtf16 (bytes, size);
    bool legacy = false;
    auto text = decode8Bit (data, utf16, legacy);
    if (utf16 < size)
        text << decodeUtf16 (bytes + utf16, size - utf16);
    if (decoding != nullptr)
    {
        juce::StringArray parts;
        if (utf16 > 0)
            parts.add (legacy ? util::platform::legacy8BitName() : "utf-8");
        if (utf16 < size)
            parts.add ("utf-16");
        *decoding = parts.isEmpty() ? juce::String ("none") : parts.joinIntoString ("+");
    }
    return text;
}

} // namespace process
