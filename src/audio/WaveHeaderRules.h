// SPDX-License-Identifier: GPL-3.0-or-later
// The buffer-header rules every back end applies alike: which headers may be
// prepared, unprepared and queued, and how a header's flags move from
// prepared to queued to done. The back ends call these first and do only
// what is their own afterwards (see the division of work in WaveApi.h).
#pragma once

#include <cstdint>

#include "audio/WaveApi.h"

// Prepare: WaveErrInvalidParam for a null header or a header size below
// sizeof(WaveHeader); else WaveNoError. Preparing a prepared header is
// allowed and changes nothing.
WaveResult CheckPrepareHeader(const WaveHeader* header, std::uint32_t headerSize);

// Unprepare: WaveErrInvalidParam as for prepare; WaveErrStillPlaying while
// the header is queued (WaveHeaderInQueue); else WaveNoError.
WaveResult CheckUnprepareHeader(const WaveHeader* header, std::uint32_t headerSize);

// Queue, before anything else: WaveErrInvalidParam for a null header, a
// short header size, a null buffer or a buffer of 0 bytes; else
// WaveNoError.
WaveResult CheckHeaderBuffer(const WaveHeader* header, std::uint32_t headerSize);

// Queue, the state of the header: WaveErrUnprepared without WaveHeaderPrepared;
// WaveErrStillPlaying when it is queued already, by its WaveHeaderInQueue flag or
// by `inBackEndQueue` (the caller may have rewritten the flags of a header
// in flight, so a back end also says whether it still holds it); else
// WaveNoError.
WaveResult CheckQueueHeader(const WaveHeader* header, bool inBackEndQueue);

// The flag moves. Prepared and unprepared touch only WaveHeaderPrepared. Queued
// clears WaveHeaderDone, sets WaveHeaderInQueue and, for input, zeroes the recorded
// count. Done stores the byte count, then clears WaveHeaderInQueue and sets
// WaveHeaderDone with release order, so a poller that sees the flag (acquire)
// reads the final count.
void MarkHeaderPrepared(WaveHeader& header);
void MarkHeaderUnprepared(WaveHeader& header);
void MarkHeaderQueued(WaveHeader& header, WaveDirection direction);
void MarkHeaderDone(WaveHeader& header, std::uint32_t bytes);
