// SPDX-License-Identifier: GPL-3.0-or-later
// Installs a process-wide object (services, wave API, dialog toolkit) for a
// scope and puts the previous one back afterwards. `Install` makes its
// argument current and returns the one it replaced (null for the default).
#pragma once

template <typename Interface, Interface* (*Install)(Interface*)>
class CScopedInstall {
public:
    explicit CScopedInstall(Interface& object) : previous(Install(&object)) {}
    ~CScopedInstall() { Install(previous); }
    CScopedInstall(const CScopedInstall&) = delete;
    CScopedInstall& operator=(const CScopedInstall&) = delete;

private:
    Interface* previous;
};
