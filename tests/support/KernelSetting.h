// SPDX-License-Identifier: GPL-3.0-or-later
// A Linux setting under /proc/sys set for the length of a test and put back
// after, for tests that check what the program does under the system's own
// rules. Only root may set them; Settable() says whether this process can.
#pragma once

#include <fstream>
#include <string>

class CKernelSetting {
public:
    // `name` as under /proc/sys ("fs/protected_symlinks").
    explicit CKernelSetting(const std::string& name) : path("/proc/sys/" + name)
    {
        std::ifstream in(path);
        readable = static_cast<bool>(in >> original);
    }
    ~CKernelSetting()
    {
        if (changed)
            Write(original);
    }
    CKernelSetting(const CKernelSetting&) = delete;
    CKernelSetting& operator=(const CKernelSetting&) = delete;

    // Whether the setting can be read and written back unchanged.
    bool Settable() { return readable && Write(original); }
    bool Set(const std::string& value)
    {
        changed = true;
        return Write(value);
    }

private:
    bool Write(const std::string& value)
    {
        std::ofstream out(path);
        out << value << '\n';
        out.flush();
        return static_cast<bool>(out);
    }

    std::string path;
    std::string original;
    bool readable = false;
    bool changed = false;
};
