// SPDX-License-Identifier: GPL-3.0-or-later
// "Check the input" and the analysis of a WAVE file: records from the
// chosen input with live meters, or reads a file, then shows the verdicts,
// the analysis's own text, and the waveform above the spectrum. The
// recording and the file's reading run off the interface thread.
#pragma once

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QWidget>

#include <string>

#include "desk/DeskContext.h"
#include "desk/InputCheck.h"
#include "desk/SessionBar.h"

class CLevelMeters;
class CAnalysisPicture;
class CVerdictList;

class CInputView final : public QWidget {
public:
    enum class State { Idle, Recording, Reading, Shown, Failed };

    CInputView(const DeskContext& context, QWidget* parent = nullptr);

    // Starts a check in the chosen format; false when a session runs.
    bool StartCheck();
    // Reads and analyses a WAVE file; false when a session runs.
    bool OpenFile(const QString& path);

    State CurrentState() const { return state; }
    QString StatusText() const { return bar->StatusText(); }
    const CAnalysisOutcome& Outcome() const { return outcome; }
    CLevelMeters* Meters() const { return meters; }
    CVerdictList* Verdicts() const { return verdicts; }
    QSpinBox* SecondsBox() const { return secondsBox; }
    QPushButton* CheckButton() const { return bar->RunButton(); }

private:
    void ShowOutcome(const CAnalysisOutcome& shown, const QString& heading);
    void ShowFailure(const QString& why);

    DeskContext context;
    State state = State::Idle;
    CAnalysisOutcome outcome;
    QSpinBox* secondsBox;
    CSessionBar* bar;
    CLevelMeters* meters;
    QLabel* heading;
    CVerdictList* verdicts;
    QPlainTextEdit* details;
    CAnalysisPicture* picture;
};
