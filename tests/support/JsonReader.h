// SPDX-License-Identifier: GPL-3.0-or-later
// A minimal JSON reader for the tests: the program's --json documents are
// parsed back and read member by member.
#pragma once

#include <map>
#include <string>
#include <vector>

struct JsonValue {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<JsonValue> items;
    std::map<std::string, JsonValue> members;

    const JsonValue& operator[](const std::string& key) const;
};

// Parses a whole document; false on any syntax error or trailing text.
bool ParseJson(const std::string& text, JsonValue& value);
