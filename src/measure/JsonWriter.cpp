// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/JsonWriter.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

std::size_t Utf8Length(std::string_view text, std::size_t i)
{
    auto byte = [&text](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    unsigned char lead = byte(i);
    std::size_t length;
    std::uint32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    std::uint32_t code = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

std::string JsonQuote(std::string_view text)
{
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            std::size_t length = Utf8Length(text, i);
            if (length == 0) {
                out += "\\ufffd";
                ++i;
            } else {
                out.append(text.substr(i, length));
                i += length;
            }
            continue;
        }
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
        ++i;
    }
    return out + "\"";
}

void CJsonWriter::NewLine()
{
    text += '\n';
    text.append(levels.size() * 2, ' ');
}

void CJsonWriter::BeforeValue()
{
    if (afterKey) {
        afterKey = false;
        return;
    }
    if (!levels.empty()) {
        if (!levels.back().empty)
            text += ',';
        levels.back().empty = false;
        NewLine();
    }
}

void CJsonWriter::Key(std::string_view name)
{
    BeforeValue();
    text += JsonQuote(name) + ": ";
    afterKey = true;
}

void CJsonWriter::BeginObject()
{
    BeforeValue();
    text += '{';
    levels.push_back({});
}

void CJsonWriter::EndObject()
{
    Close('}');
}

void CJsonWriter::BeginArray()
{
    BeforeValue();
    text += '[';
    levels.push_back({});
}

void CJsonWriter::EndArray()
{
    Close(']');
}

void CJsonWriter::Close(char bracket)
{
    bool wasEmpty = levels.back().empty;
    levels.pop_back();
    if (!wasEmpty)
        NewLine();
    text += bracket;
}

void CJsonWriter::String(std::string_view value)
{
    BeforeValue();
    text += JsonQuote(value);
}

void CJsonWriter::Real(double value, int decimals)
{
    if (!std::isfinite(value)) {
        Null();
        return;
    }
    BeforeValue();
    char digits[64];
    std::snprintf(digits, sizeof digits, "%.*f", decimals, value);
    std::string number = digits;
    if (number.find('.') != std::string::npos) {
        number.erase(number.find_last_not_of('0') + 1);
        if (number.back() == '.')
            number.pop_back();
    }
    if (number == "-0")
        number = "0";
    text += number;
}

void CJsonWriter::Number(long long value)
{
    BeforeValue();
    text += std::to_string(value);
}

void CJsonWriter::Bool(bool value)
{
    BeforeValue();
    text += value ? "true" : "false";
}

void CJsonWriter::Null()
{
    BeforeValue();
    text += "null";
}
