// SPDX-License-Identifier: GPL-3.0-or-later
#include "desk/SessionRunner.h"

#include <QMetaObject>

#include <exception>
#include <new>

CSessionRunner::CSessionRunner(QObject* parent) : QObject(parent) {}

CSessionRunner::~CSessionRunner()
{
    cancelled.store(true);
    if (worker.joinable())
        worker.join();
}

bool CSessionRunner::Start(std::function<void()> work, std::function<void()> finished)
{
    if (running)
        return false;
    if (worker.joinable())
        worker.join();
    running = true;
    cancelled.store(false);
    failure.clear();
    worker = std::thread([this, work = std::move(work), finished = std::move(finished)]() mutable {
        // Nothing may leave the thread: an exception there ends the program.
        std::string why;
        try {
            work();
        } catch (const std::bad_alloc&) {
            why = "there is not enough memory for this session";
        } catch (const std::exception& e) {
            why = std::string("the session failed: ") + e.what();
        }
        Post([this, why, finished = std::move(finished)] {
            running = false;
            failure = why;
            if (worker.joinable())
                worker.join();
            if (finished)
                finished();
        });
    });
    return true;
}

void CSessionRunner::Post(std::function<void()> call)
{
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}
