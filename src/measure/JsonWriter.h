// SPDX-License-Identifier: GPL-3.0-or-later
// A small streaming JSON writer for the --json result: objects, arrays,
// strings, whole numbers, booleans and null, two-space indented.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The length of the well-formed UTF-8 sequence starting at text[i] (1 to
// 4), or 0 when none starts there (a stray byte, an overlong form, a
// surrogate, a sequence cut short). For i < text.size().
std::size_t Utf8Length(std::string_view text, std::size_t i);

// A JSON string literal. Valid UTF-8 passes through; control characters are
// escaped; bytes that are not UTF-8 (a device name in another encoding)
// become U+FFFD, so the output always parses.
std::string JsonQuote(std::string_view text);

class CJsonWriter {
public:
    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    // The member name of the next value inside an object.
    void Key(std::string_view name);
    void String(std::string_view value);
    void Number(long long value);
    // A number with up to `decimals` decimals (trailing zeros dropped); null
    // for NaN or an infinity, which JSON cannot hold.
    void Real(double value, int decimals = 6);
    void Bool(bool value);
    void Null();

    // Members in one call each.
    void Member(std::string_view name, std::string_view value) { Key(name); String(value); }
    void Member(std::string_view name, const char* value) { Key(name); String(value); }
    void Member(std::string_view name, long long value) { Key(name); Number(value); }
    void Member(std::string_view name, int value) { Key(name); Number(value); }
    void Member(std::string_view name, bool value) { Key(name); Bool(value); }

    // The document, ended by a line feed.
    std::string Text() const { return text + "\n"; }

private:
    void BeforeValue();
    void Close(char bracket);
    void NewLine();

    struct Level {
        bool empty = true;
    };
    std::string text;
    std::vector<Level> levels;
    bool afterKey = false;
};
