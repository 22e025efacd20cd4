// SPDX-License-Identifier: GPL-3.0-or-later
// Back ends run their operations through NoThrow so that no exception leaves
// the wave API: a container that cannot grow is the failed allocation the
// result codes already have a word for, and a thread the system will not
// start is a plain failure.
#pragma once

#include <new>
#include <system_error>
#include <utility>

#include "audio/WaveApi.h"

template <typename Body>
WaveResult NoThrow(Body&& body) noexcept
{
    try {
        return std::forward<Body>(body)();
    } catch (const std::bad_alloc&) {
        return WaveErrNoMemory;
    } catch (const std::system_error& error) {
        return error.code() == std::errc::not_enough_memory ? WaveErrNoMemory : WaveErrUnspecified;
    } catch (...) {
        return WaveErrUnspecified;
    }
}
