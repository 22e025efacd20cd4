// SPDX-License-Identifier: GPL-3.0-or-later
#include "UnderWine.h"

#include <windows.h>

bool UnderWine()
{
    // Wine's ntdll exports its version; Windows' does not.
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
