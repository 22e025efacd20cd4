// SPDX-License-Identifier: GPL-3.0-or-later
// What a WASAPI or MMDevice call's HRESULT means to the device layer: the
// wave API's result code the report words, and the host detail's text.
#pragma once

#include <cstdint>
#include <string>

#include "audio/WaveApi.h"

// The wave API's code for a failed call: AUDCLNT_E_UNSUPPORTED_FORMAT 8
// (the driver refuses the format), AUDCLNT_E_DEVICE_IN_USE 4 (another
// application holds the device), AUDCLNT_E_EXCLUSIVE_MODE_NOT_ALLOWED 3
// (the user forbade exclusive use), AUDCLNT_E_DEVICE_INVALIDATED,
// AUDCLNT_E_SERVICE_NOT_RUNNING and AUDCLNT_E_ENDPOINT_CREATE_FAILED 6 (the
// device cannot be reached), E_OUTOFMEMORY 7, E_INVALIDARG and E_POINTER 11,
// a device that is not found 2, anything else 1. WaveNoError for a success
// code (S_OK, S_FALSE and the AUDCLNT_S_ codes).
WaveResult WaveResultOfHresult(std::int32_t hresult);

// The HRESULT's name where it is an audio one ("AUDCLNT_E_DEVICE_IN_USE"),
// else the system's own message, and always its value in hexadecimal:
// "AUDCLNT_E_UNSUPPORTED_FORMAT (0x88890008)".
std::string HresultText(std::int32_t hresult);

// True when the device went away for good: the stream cannot be mended.
bool HresultMeansLost(std::int32_t hresult);
