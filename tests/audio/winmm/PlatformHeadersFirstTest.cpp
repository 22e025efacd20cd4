// SPDX-License-Identifier: GPL-3.0-or-later
// The platform's multimedia headers before ours: our wave API's constants
// must neither be rewritten by <mmsystem.h>'s macros nor differ from them.
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>

#include "audio/WaveApi.h"

#include <gtest/gtest.h>

static_assert(WaveNoError == MMSYSERR_NOERROR);
static_assert(WaveErrAllocated == MMSYSERR_ALLOCATED);
static_assert(WaveErrNotSupported == MMSYSERR_NOTSUPPORTED);
static_assert(WaveErrInvalidParam == MMSYSERR_INVALPARAM);
static_assert(WaveErrStillPlaying == WAVERR_STILLPLAYING);
static_assert(WaveErrUnprepared == WAVERR_UNPREPARED);
static_assert(WaveHeaderDone == WHDR_DONE);
static_assert(WaveHeaderPrepared == WHDR_PREPARED);
static_assert((WaveHeaderBeginLoop | WaveHeaderEndLoop) == (WHDR_BEGINLOOP | WHDR_ENDLOOP));
static_assert(WaveHeaderInQueue == WHDR_INQUEUE);
static_assert(WaveFormatTagPcm == WAVE_FORMAT_PCM);
static_assert(WaveFormat4S16 == WAVE_FORMAT_4S16);
static_assert(WaveFormatTagExtensible == WAVE_FORMAT_EXTENSIBLE);
static_assert(WaveSpeakerFrontRight == SPEAKER_FRONT_RIGHT);

TEST(PlatformHeadersFirst, OurStandardFormatBitsCoverThePlatformsTwelve)
{
    EXPECT_EQ(WaveStandardFormatsAll, static_cast<std::uint32_t>(WAVE_FORMAT_1M08 | WAVE_FORMAT_1S08 | WAVE_FORMAT_1M16 |
        WAVE_FORMAT_1S16 | WAVE_FORMAT_2M08 | WAVE_FORMAT_2S08 | WAVE_FORMAT_2M16 | WAVE_FORMAT_2S16 |
        WAVE_FORMAT_4M08 | WAVE_FORMAT_4S08 | WAVE_FORMAT_4M16 | WAVE_FORMAT_4S16));
}
