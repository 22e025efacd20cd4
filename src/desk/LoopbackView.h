// SPDX-License-Identifier: GPL-3.0-or-later
// "Loopback": plays the measurement sequence on the chosen output while the
// chosen input records (the output wired back to the input), with progress
// and Esc, then shows the table, the checks against the limits set here,
// and the response above the spectrum of the captured 1 kHz tone. The run
// is the measurement library's loopback session, off the interface thread.
#pragma once

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QWidget>

#include "desk/DeskContext.h"
#include "desk/SessionBar.h"
#include "measure/loopback/LoopbackResult.h"

class CLoopbackPicture;
class CVerdictList;

class CLoopbackView final : public QWidget {
public:
    enum class State { Idle, Running, Shown, Failed };

    CLoopbackView(const DeskContext& context, QWidget* parent = nullptr);

    bool StartRun();
    State CurrentState() const { return state; }
    QString StatusText() const { return bar->StatusText(); }
    const CLoopbackRun& Run() const { return run; }
    // A run ended (measured or not), so Run() holds it.
    bool HasRun() const { return hasRun; }
    CVerdictList* Checks() const { return checks; }
    QPushButton* RunButton() const { return bar->RunButton(); }
    QLineEdit* LatencyLimit() const { return maxLatency; }
    QLineEdit* ThdnLimit() const { return maxThdn; }

    void Restore(const QSettings& settings);
    void Save(QSettings& settings) const;

private:
    void ShowRun(const QString& said);

    DeskContext context;
    State state = State::Idle;
    CLoopbackRun run;
    bool hasRun = false;
    QLineEdit* maxLatency;
    QLineEdit* maxDeviation;
    QLineEdit* minDynamicRange;
    QLineEdit* maxThdn;
    CSessionBar* bar;
    CVerdictList* checks;
    QPlainTextEdit* table;
    CLoopbackPicture* picture;
};
