// SPDX-License-Identifier: GPL-3.0-or-later
// "Soak": streams the chosen devices for as long as asked (or until Stop or
// Esc) in the chosen format, full duplex over the output wired back to the
// input, or one direction alone. While it runs the timeline is drawn live
// (events at their times, the latency and the drift so far), each event is
// listed as it is found and the status line counts them; at the end the
// checks against the limits set here and the summary. The run is the
// measurement library's soak session, off the interface thread.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QWidget>

#include <memory>

#include "desk/DeskContext.h"
#include "desk/SessionBar.h"
#include "measure/soak/SoakRequest.h"
#include "measure/soak/SoakResult.h"

class CSoakPicture;
struct SoakTimeline;
class CVerdictList;

// The seconds a duration box and its unit (0 seconds, 1 minutes, 2 hours)
// ask for; 0 runs until stopped.
double SoakDurationSeconds(int value, int unit);

class CSoakView final : public QWidget {
public:
    enum class State { Idle, Running, Shown, Failed };

    CSoakView(const DeskContext& context, QWidget* parent = nullptr);

    // Starts a soak with the fields' mode, duration and limits; false when
    // a device the mode needs is missing or a session runs.
    bool StartSoak();
    State CurrentState() const { return state; }
    QString StatusText() const { return bar->StatusText(); }
    // The soak that ended (Shown or Failed), as the report takes it.
    const SoakRun& Run() const { return run; }
    // The limits that soak was held to.
    const SoakLimits& Limits() const { return limits; }
    bool HasRun() const { return hasRun; }

    QComboBox* ModeBox() const { return modeBox; }
    QSpinBox* DurationBox() const { return durationBox; }
    QComboBox* UnitBox() const { return unitBox; }
    QLineEdit* XrunLimit() const { return maxXruns; }
    QLineEdit* GlitchLimit() const { return maxGlitches; }
    QLineEdit* DriftLimit() const { return maxDrift; }
    QLineEdit* WanderLimit() const { return maxWander; }
    QPushButton* RunButton() const { return bar->RunButton(); }
    QPushButton* StopButton() const { return bar->CancelButton(); }
    CVerdictList* Checks() const { return checks; }
    // The events as they come, then the summary.
    QPlainTextEdit* Text() const { return text; }
    CSoakPicture* Picture() const { return picture; }

    void Restore(const QSettings& settings);
    void Save(QSettings& settings) const;

private:
    SoakRequest Request() const;
    void ShowStatus(std::shared_ptr<const SoakTimeline> timeline, const QString& said, int percent);
    void ShowRun(const QString& said);

    DeskContext context;
    State state = State::Idle;
    SoakRun run;
    SoakLimits limits;
    bool hasRun = false;
    QComboBox* modeBox;
    QSpinBox* durationBox;
    QComboBox* unitBox;
    QLineEdit* maxXruns;
    QLineEdit* maxGlitches;
    QLineEdit* maxDrift;
    QLineEdit* maxWander;
    CSessionBar* bar;
    CVerdictList* checks;
    QPlainTextEdit* text;
    CSoakPicture* picture;
};
