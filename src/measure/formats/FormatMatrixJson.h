// SPDX-License-Identifier: GPL-3.0-or-later
// The matrix as JSON: every cell with its format, its mark, what the open
// gave (the code, its words and the host's call and words for a refusal),
// and, as the level asks, the delivery's or the loop's findings.
#pragma once

#include "measure/JsonWriter.h"
#include "measure/formats/FormatMatrix.h"

// Writes the members "level", "devices", "loop" (transparent level only),
// "cancelled" and "seconds" into the object being written.
void WriteFormatMatrixJson(CJsonWriter& json, const FormatMatrixResult& result);
