// SPDX-License-Identifier: GPL-3.0-or-later
// The save-file dialog's filter in the platform's form: description and
// pattern, each zero-terminated, and one more zero ending the list.
#pragma once

#include <string>

// "Wave Files (*.wav)" gives "Wave Files (*.wav)\0*.wav\0\0": the pattern is
// what the description's last parentheses hold. Without parentheses the
// pattern is "*." + defaultExtension, or "*.*" without an extension.
std::string SaveFileFilter(const std::string& description, const std::string& defaultExtension);
