// SPDX-License-Identifier: GPL-3.0-or-later
#include "desk/DeskServices.h"

void CDeskServices::ShowMessage(const std::string& text, MessageIcon)
{
    std::lock_guard<std::mutex> hold(lock);
    messages.push_back(text);
}

std::vector<std::string> CDeskServices::TakeMessages()
{
    std::lock_guard<std::mutex> hold(lock);
    std::vector<std::string> taken;
    taken.swap(messages);
    return taken;
}
