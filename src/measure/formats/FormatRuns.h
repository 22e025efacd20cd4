// SPDX-License-Identifier: GPL-3.0-or-later
// The device steps of one combination, on wave devices the session keeps
// for the whole matrix: the open (and close) that says whether a format is
// taken, and the short recording or playback of the delivers level.
#pragma once

#include "audio/WaveDevice.h"
#include "measure/formats/FormatMatrix.h"

// A recording or a playback of the delivers level lasts this long; its
// buffer must be done within FormatDeliveryGraceMs more.
constexpr std::uint32_t FormatDeliveryMs = 200;
constexpr std::uint32_t FormatDeliveryGraceMs = 300;

// SetFormat, then Open or OpenExtended as the key says, then Close. The
// code is the open's; a refusal by the wave API's description rules is told
// apart (byRules, no host detail), else the host's detail of the device is
// kept when the open failed.
FormatAcceptance TryFormat(CWaveApi& api, CWaveDevice& device, const FormatKey& key);

// The delivers level of the directions given (a device and where its
// result goes; each must have accepted the key): each device is opened in
// the key's format and its buffer of FormatDeliveryMs queued, then both are
// started one right after the other and run side by side, polled every
// 10 ms through the services' clock until each is done or the grace is
// over, and closed. Judged: for input silence, the valid bits carried, gaps
// of exact silence inside the signal; for both the time to done and the
// xruns the host counted. A failed open, queue or start leaves its code in
// stepCode and the other direction runs alone.
void DeliverFormats(CWaveApi& api, CWaveInDevice* input, CWaveOutDevice* output, const FormatKey& key,
                    FormatDelivery* inputDelivery, FormatDelivery* outputDelivery);
