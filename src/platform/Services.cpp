// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Services.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

CDefaultServices defaultServices;
CServices* current = &defaultServices;

} // namespace

CServices& Services()
{
    return *current;
}

CServices* SetServices(CServices* services)
{
    CServices* previous = current;
    current = services ? services : &defaultServices;
    return previous == &defaultServices ? nullptr : previous;
}

void CDefaultServices::ShowMessage(const std::string& text, MessageIcon)
{
    std::fprintf(stderr, "tallowmere: %s\n", text.c_str());
}

bool CDefaultServices::AskYesNo(WindowHandle, const std::string&, const std::string&)
{
    return false;
}

CursorShape CDefaultServices::SetCursor(CursorShape shape)
{
    CursorShape previous = cursor;
    cursor = shape;
    return previous;
}

void CDefaultServices::Sleep(std::uint32_t milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::uint32_t CDefaultServices::TickCount()
{
    using namespace std::chrono;
    auto sinceBoot = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<std::uint32_t>(sinceBoot);
}

std::optional<std::uint32_t> CDefaultServices::PeekKey(WindowHandle)
{
    return std::nullopt;
}

bool CDefaultServices::SetClipboardText(WindowHandle, const std::string&)
{
    return false;
}

std::optional<std::string> CDefaultServices::AskSaveFileName(WindowHandle, const std::string&, const std::string&)
{
    return std::nullopt;
}
