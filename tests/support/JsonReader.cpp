// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/JsonReader.h"

#include <cstdlib>

const JsonValue& JsonValue::operator[](const std::string& key) const
{
    static const JsonValue missing;
    auto found = members.find(key);
    return found == members.end() ? missing : found->second;
}

namespace {

class CJsonReader {
public:
    explicit CJsonReader(const std::string& text) : text(text) {}

    bool Document(JsonValue& value)
    {
        if (!Value(value))
            return false;
        Space();
        return at == text.size();
    }

private:
    void Space()
    {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\n' || text[at] == '\r' || text[at] == '\t'))
            ++at;
    }
    bool Literal(const char* word)
    {
        std::string w = word;
        if (text.compare(at, w.size(), w) != 0)
            return false;
        at += w.size();
        return true;
    }
    bool Value(JsonValue& value)
    {
        Space();
        if (at >= text.size())
            return false;
        char c = text[at];
        if (c == '{')
            return Object(value);
        if (c == '[')
            return Array(value);
        if (c == '"') {
            value.kind = JsonValue::Kind::String;
            return String(value.text);
        }
        if (Literal("true") || Literal("false")) {
            value.kind = JsonValue::Kind::Bool;
            value.boolean = c == 't';
            return true;
        }
        if (Literal("null"))
            return true;
        char* end = nullptr;
        value.number = std::strtod(text.c_str() + at, &end);
        if (end == text.c_str() + at)
            return false;
        value.kind = JsonValue::Kind::Number;
        at = static_cast<std::size_t>(end - text.c_str());
        return true;
    }
    bool String(std::string& out)
    {
        ++at;
        while (at < text.size() && text[at] != '"') {
            char c = text[at++];
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at >= text.size())
                return false;
            char e = text[at++];
            switch (e) {
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case '"': case '\\': case '/': out += e; break;
            case 'u': {
                if (at + 4 > text.size())
                    return false;
                unsigned code = static_cast<unsigned>(std::stoul(text.substr(at, 4), nullptr, 16));
                at += 4;
                if (code < 0x80) {
                    out += static_cast<char>(code);
                } else if (code < 0x800) {
                    out += static_cast<char>(0xC0 | (code >> 6));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                } else {
                    out += static_cast<char>(0xE0 | (code >> 12));
                    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                }
                break;
            }
            default: return false;
            }
        }
        if (at >= text.size())
            return false;
        ++at;
        return true;
    }
    bool Array(JsonValue& value)
    {
        value.kind = JsonValue::Kind::Array;
        ++at;
        Space();
        if (at < text.size() && text[at] == ']')
            return ++at, true;
        for (;;) {
            value.items.emplace_back();
            if (!Value(value.items.back()))
                return false;
            Space();
            if (at < text.size() && text[at] == ',') {
                ++at;
                continue;
            }
            return at < text.size() && text[at++] == ']';
        }
    }
    bool Object(JsonValue& value)
    {
        value.kind = JsonValue::Kind::Object;
        ++at;
        Space();
        if (at < text.size() && text[at] == '}')
            return ++at, true;
        for (;;) {
            Space();
            std::string key;
            if (at >= text.size() || text[at] != '"' || !String(key))
                return false;
            Space();
            if (at >= text.size() || text[at++] != ':')
                return false;
            if (!Value(value.members[key]))
                return false;
            Space();
            if (at < text.size() && text[at] == ',') {
                ++at;
                continue;
            }
            return at < text.size() && text[at++] == '}';
        }
    }

    const std::string& text;
    std::size_t at = 0;
};

} // namespace

bool ParseJson(const std::string& text, JsonValue& value)
{
    return CJsonReader(text).Document(value);
}
