// SPDX-License-Identifier: GPL-3.0-or-later
#include "desk/LimitField.h"

#include <QDoubleValidator>
#include <QLocale>

#include <cmath>

QLineEdit* NewLimitField(const QString& name, const QString& unit, double lowest, int decimals)
{
    auto* field = new QLineEdit;
    field->setAccessibleName(name + " (" + unit + ")");
    field->setPlaceholderText("not set");
    // Numbers as the command line reads them, whatever the desktop's locale.
    auto* validator = new QDoubleValidator(lowest, 100000, decimals, field);
    validator->setLocale(QLocale::c());
    field->setValidator(validator);
    field->setMaximumWidth(field->fontMetrics().horizontalAdvance("-0000.000") + 24);
    return field;
}

std::optional<double> LimitValue(const QLineEdit* field)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(field->text().trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<std::uint64_t> LimitCount(const QLineEdit* field)
{
    const std::optional<double> value = LimitValue(field);
    if (!value || *value < 0 || *value != std::floor(*value) || *value > 1e15)
        return std::nullopt;
    return static_cast<std::uint64_t>(*value);
}
