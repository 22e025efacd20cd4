// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/svg/Markup.h"

#include <charconv>
#include <cmath>

#include "measure/JsonWriter.h"

namespace {

constexpr std::string_view Replacement = "\xEF\xBF\xBD"; // U+FFFD

} // namespace

std::string MarkupText(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t length = Utf8Length(text, i);
            if (length == 0) {
                out += Replacement;
                ++i;
            } else {
                out.append(text.substr(i, length));
                i += length;
            }
            continue;
        }
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        case '\r': break;
        case '\t':
        case '\n': out += static_cast<char>(c); break;
        default:
            if (c < 0x20 || c == 0x7F)
                out += Replacement;
            else
                out += static_cast<char>(c);
        }
        ++i;
    }
    return out;
}

std::string MarkupNumber(double value, int decimals)
{
    if (!std::isfinite(value))
        return "0";
    const double half = 0.5 * std::pow(10.0, -decimals);
    if (std::fabs(value) < half)
        value = 0;
    char text[64];
    // to_chars ignores the locale a desktop program may have set.
    auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    if (error != std::errc())
        return "0";
    std::string out(text, end);
    if (out.find('.') != std::string::npos) {
        while (out.back() == '0')
            out.pop_back();
        if (out.back() == '.')
            out.pop_back();
    }
    return out;
}
