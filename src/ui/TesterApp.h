// SPDX-License-Identifier: GPL-3.0-or-later
// The application object: shows the main dialog modally and then ends.
#pragma once

class CDialog;

class CTesterApp {
public:
    CTesterApp() = default;
    CTesterApp(const CTesterApp&) = delete;
    CTesterApp& operator=(const CTesterApp&) = delete;

    // Runs the main dialog to its end; always false, so the program ends
    // instead of entering a message loop of its own.
    bool InitInstance();

    // The main dialog while it runs; null before and after.
    CDialog* MainWindow() const { return mainWindow; }

private:
    CDialog* mainWindow = nullptr;
};
