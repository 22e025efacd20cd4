// SPDX-License-Identifier: GPL-3.0-or-later
// A field for a limit a session's result is held to, as the command line's
// --max-... flags: empty means "not set", numbers are read locale-free.
#pragma once

#include <QLineEdit>

#include <cstdint>
#include <optional>

// A field named "NAME (UNIT)" for a screen reader, accepting numbers from
// `lowest` with up to `decimals` decimals.
QLineEdit* NewLimitField(const QString& name, const QString& unit, double lowest = -400, int decimals = 3);

// The field's value: empty or unreadable is not set.
std::optional<double> LimitValue(const QLineEdit* field);
// A count's value: not set as above, or when negative or not whole.
std::optional<std::uint64_t> LimitCount(const QLineEdit* field);
