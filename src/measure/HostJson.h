// SPDX-License-Identifier: GPL-3.0-or-later
// What the back end knows of a device, as the JSON documents of the test
// and of the loopback both carry it.
#pragma once

#include <optional>
#include <string>

#include "audio/WaveApi.h"

class CJsonWriter;

// The "host" member: the device's name, the failing call, its error number
// and text, whether the device was lost, its xruns and frames lost; null
// when the back end knows nothing of it.
void WriteHostJson(CJsonWriter& json, const std::optional<WaveHostDetail>& host);

// The "answers" member, only for a device whose answers are not the card's
// (AudioEngineAnswerNote: a WinMM device on Windows Vista and later); for
// any other device nothing is written.
void WriteAudioEngineNote(CJsonWriter& json, const std::string& deviceName);
