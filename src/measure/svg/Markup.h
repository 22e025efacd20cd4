// SPDX-License-Identifier: GPL-3.0-or-later
// Text from outside (device and file names, a sound server's words, the
// report) made safe inside SVG and HTML markup, and numbers written the same
// way whatever the process's locale.
#pragma once

#include <string>
#include <string_view>

// The text as character data or an attribute value: & < > " ' become
// entities; bytes that are not UTF-8, and control characters other than tab
// and line feed (which XML does not allow), become U+FFFD; a carriage
// return is dropped, so CR LF lines read as LF. Never markup, whatever the
// text holds.
std::string MarkupText(std::string_view text);

// `value` with `decimals` decimals, a dot as separator in every locale, and
// no "-0"; "0" for NaN or an infinity (callers leave those out beforehand).
std::string MarkupNumber(double value, int decimals = 1);
