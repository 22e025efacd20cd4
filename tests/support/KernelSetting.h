// SPDX-License-Identifier: GPL-3.0-or-later
// A Linux setting under /proc/sys set for the length of a test and put back
// after, for tests that check what the program does under the system's own
// rules. Only root may set them; Settable() says whether this process can.
// The setting is the whole machine's: each holder takes a lock on it first,
// so that test programs run side by side never read another's value as the
// one to put back.
#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <fstream>
#include <string>

class CKernelSetting {
public:
    // `name` as under /proc/sys ("fs/protected_symlinks").
    explicit CKernelSetting(const std::string& name) : path("/proc/sys/" + name)
    {
        std::string lockName = "/tmp/tallowmere-setting-" + name.substr(name.find_last_of('/') + 1) + ".lock";
        lock = ::open(lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (lock >= 0)
            ::flock(lock, LOCK_EX);
        std::ifstream in(path);
        readable = static_cast<bool>(in >> original);
    }
    ~CKernelSetting()
    {
        if (changed)
            Write(original);
        if (lock >= 0)
            ::close(lock);
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
    int lock = -1;
};
