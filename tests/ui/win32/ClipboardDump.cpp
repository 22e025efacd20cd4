// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the clipboard's CF_TEXT, byte for byte up to its terminator, to
// standard output: the end-to-end script reads what the program put there
// on the Windows side, before Wine's X bridge turns CR LF into LF.
// Exit status 0 with the text, 1 when the clipboard is busy or holds none.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>

int main()
{
    if (!OpenClipboard(nullptr))
        return 1;
    int status = 1;
    if (HANDLE data = GetClipboardData(CF_TEXT)) {
        if (const char* text = static_cast<const char*>(GlobalLock(data))) {
            _setmode(_fileno(stdout), _O_BINARY);
            std::size_t length = strnlen(text, GlobalSize(data));
            status = std::fwrite(text, 1, length, stdout) == length ? 0 : 1;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return status;
}
