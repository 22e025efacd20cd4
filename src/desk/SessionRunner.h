// SPDX-License-Identifier: GPL-3.0-or-later
// Runs one measurement session at a time off the interface thread, so the
// window keeps painting and answering keys while a device records. The
// work gets a cancel flag to poll; what it wants shown (progress, levels,
// the result) it hands to Post, which runs it on the interface thread.
// Destroying the runner cancels the session and waits for it.
#pragma once

#include <QObject>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

class CSessionRunner final : public QObject {
public:
    explicit CSessionRunner(QObject* parent = nullptr);
    ~CSessionRunner() override;

    // False (and nothing started) while a session runs. `work` runs on its
    // own thread; `finished` runs on the interface thread after it.
    bool Start(std::function<void()> work, std::function<void()> finished);
    bool Running() const { return running; }
    // Asks the session to end; it ends at its next poll.
    void Cancel() { cancelled.store(true); }
    bool CancelRequested() const { return cancelled.load(); }
    // Runs `call` on the interface thread, soon; safe from the worker.
    void Post(std::function<void()> call);
    // Why the last session's work ended by an exception (no memory for a
    // buffer, say); empty when it returned. Read in `finished`.
    const std::string& Failure() const { return failure; }

private:
    std::string failure;
    std::thread worker;
    std::atomic<bool> cancelled{false};
    bool running = false;
};
