// SPDX-License-Identifier: GPL-3.0-or-later
// The row every view runs its session from: the view's own fields, its Run
// button, the Cancel (or Stop) button, the progress, and the status line
// below. It starts the work on the window's one session runner, locks its
// fields (and, through the context, the window's) while the work runs, and
// unlocks them before the view hears that the work ended. Esc cancels too:
// the window's shortcut asks the same runner.
#pragma once

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

#include <functional>
#include <vector>

#include "desk/DeskContext.h"

class QHBoxLayout;

class CSessionBar final : public QWidget {
public:
    struct Words {
        QString run;               // the Run button, with its mnemonic
        QString cancel;            // "Cancel", or "Stop" where ending early is the usual end
        QString cancelDescription; // what Cancel does, for a screen reader
        QString progressName;      // the progress bar's accessible name
    };
    CSessionBar(const DeskContext& context, const Words& words, QWidget* parent = nullptr);

    // A field before the Run button, after its label when `label` is not
    // empty (the label's mnemonic moves to the field), locked while a
    // session runs.
    void AddField(const QString& label, QWidget* field);

    // Starts `work` on the session runner, shows `said` and a progress of 0;
    // `finished` runs on the interface thread once the fields are unlocked.
    // False, and nothing changed, while a session runs.
    bool Start(std::function<void()> work, std::function<void()> finished, const QString& said);

    // For the session's thread: shows a percentage, and `said` as the status
    // when it is not empty, soon on the interface thread. Made on the
    // interface thread before the work starts; does nothing once the bar is gone.
    using ProgressPost = std::function<void(int percent, const QString& said)>;
    ProgressPost ProgressPoster();
    // For the session's thread: runs a call on the interface thread, soon.
    using Post = std::function<void(std::function<void()> call)>;
    Post Poster() const;
    // For the session's hooks: true once Cancel, Stop or Esc was pressed.
    std::function<bool()> CancelPoll() const;

    // What the device layer said during the session: " (the device layer
    // said: A, B)", or empty when it said nothing. Takes the messages.
    QString TakeDeviceMessages() const;
    // Why the work ended by an exception (no memory, say); empty when it
    // returned. Read in `finished`.
    QString Failure() const;

    void SetStatus(const QString& text) { status->setText(text); }
    QString StatusText() const { return status->text(); }
    void SetProgress(int percent) { progress->setValue(percent); }
    int Progress() const { return progress->value(); }
    QPushButton* RunButton() const { return runButton; }
    QPushButton* CancelButton() const { return cancelButton; }

private:
    void Lock(bool running);

    DeskContext context;
    QHBoxLayout* row;
    QPushButton* runButton;
    QPushButton* cancelButton;
    QProgressBar* progress;
    QLabel* status;
    std::vector<QWidget*> fields;
};
