// SPDX-License-Identifier: GPL-3.0-or-later
// The measurement window's services. The sessions run on a worker thread,
// and the device layer reports a failure through ShowMessage as it does in
// the test dialog; a modal box from that thread would block the session
// and Qt forbids it. So the messages are kept, in order, and the window
// shows them beside the session's result once it ends. Everything else is
// the plain default: the real clock, no keyboard (cancel goes through the
// sessions' hooks), questions answered No.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/Services.h"

class CDeskServices : public CDefaultServices {
public:
    // Safe from any thread.
    void ShowMessage(const std::string& text, MessageIcon icon) override;
    // The messages kept since the last call, oldest first; empties the list.
    std::vector<std::string> TakeMessages();

private:
    std::mutex lock;
    std::vector<std::string> messages;
};
