// SPDX-License-Identifier: GPL-3.0-or-later
// What the keyboard does on every platform: the queue of keys, and the
// decoding of the terminal sequences that other keys send.
#include "cli/Keyboard.h"

namespace {

constexpr unsigned char Escape = 27;

} // namespace

std::optional<std::uint32_t> CKeyboard::TakeKey()
{
    if (keys.empty())
        ReadAvailable(0);
    if (keys.empty())
        return std::nullopt;
    std::uint32_t key = keys.front();
    keys.pop_front();
    return key;
}

std::optional<std::uint32_t> CKeyboard::WaitKey(int milliseconds)
{
    if (keys.empty())
        ReadAvailable(milliseconds);
    return TakeKey();
}

void CKeyboard::Discard()
{
    // Everything waiting, however much a held-down key has piled up.
    while (ReadAvailable(0)) {
    }
    keys.clear();
}

// A lone Esc is the Esc key; Esc followed at once by '[' or 'O' starts the
// sequence of another key (arrows, function keys), which must not cancel.
void CKeyboard::Decode(const unsigned char* bytes, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        if (bytes[i] != Escape || i + 1 >= count || (bytes[i + 1] != '[' && bytes[i + 1] != 'O')) {
            keys.push_back(bytes[i]);
            continue;
        }
        i += 2;
        // Parameters and intermediates run up to a final byte from '@' to '~'.
        while (i < count && (bytes[i] < '@' || bytes[i] > '~'))
            ++i;
        keys.push_back(KeyOther);
    }
}
