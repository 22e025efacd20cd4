// SPDX-License-Identifier: GPL-3.0-or-later
#include "desk/LoopbackView.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QSplitter>
#include <QVBoxLayout>

#include <memory>

#include "analysis/loopback/Stimulus.h"
#include "desk/FormatPanel.h"
#include "desk/LimitField.h"
#include "desk/Pictures.h"
#include "desk/VerdictList.h"
#include "measure/loopback/LoopbackSession.h"
#include "measure/loopback/LoopbackText.h"

namespace {

// The checks as verdicts: one per failed check, or one saying all passed.
std::vector<Verdict> CheckVerdicts(const CLoopbackRun& run)
{
    if (run.outcome != LoopbackOutcome::Measured)
        return {{"Run", VerdictState::Bad, std::string(LoopbackOutcomeName(run.outcome)) + ": " + run.error}};
    std::vector<Verdict> verdicts;
    if (!run.checksSet)
        verdicts.push_back({"Limits", VerdictState::Neutral, "No limit set: the figures are in the table"});
    else if (run.failedChecks.empty())
        verdicts.push_back({"Limits", VerdictState::Good, "Every limit set is held"});
    for (const std::string& failed : run.failedChecks)
        verdicts.push_back({"Limit", VerdictState::Bad, failed});
    if (run.measures.dropoutCount > 0)
        verdicts.push_back({"Dropouts", VerdictState::Bad, std::to_string(run.measures.dropoutCount) + " found"});
    else if (run.measures.dropoutsChecked)
        verdicts.push_back({"Dropouts", VerdictState::Good, "None found"});
    if (run.playbackUnfinished)
        verdicts.push_back({"Playback", VerdictState::Warning,
                            "The capture filled before the output said it was done"});
    return verdicts;
}

} // namespace

CLoopbackView::CLoopbackView(const DeskContext& shared, QWidget* parent)
    : QWidget(parent), context(shared), maxLatency(NewLimitField("Largest latency", "ms")),
      maxDeviation(NewLimitField("Largest response deviation", "dB")),
      minDynamicRange(NewLimitField("Smallest dynamic range", "dB")), maxThdn(NewLimitField("Largest THD+N", "dB")),
      bar(new CSessionBar(shared,
                          {"Run the &loopback", "Cancel", "Ends the run; Esc does the same", "Loopback progress"})),
      checks(new CVerdictList("Loopback checks")), table(new QPlainTextEdit), picture(new CLoopbackPicture)
{
    bar->SetStatus("Ready: wire the output back to the input");
    table->setReadOnly(true);
    table->setAccessibleName("Loopback table");
    table->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    table->setLineWrapMode(QPlainTextEdit::NoWrap);

    auto* limits = new QHBoxLayout;
    auto addLimit = [limits](const QString& text, QLineEdit* field) {
        auto* label = new QLabel(text);
        label->setBuddy(field);
        limits->addWidget(label);
        limits->addWidget(field);
    };
    addLimit("Latency at &most (ms):", maxLatency);
    addLimit("Response &within ± (dB):", maxDeviation);
    addLimit("&Dynamic range at least (dB):", minDynamicRange);
    addLimit("THD+&N at most (dB):", maxThdn);
    limits->addStretch(1);

    auto* left = new QWidget;
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(checks, 1);
    leftLayout->addWidget(table, 3);
    auto* split = new QSplitter(Qt::Horizontal);
    split->addWidget(left);
    split->addWidget(picture);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);
    split->setSizes({540, 560});
    split->setChildrenCollapsible(false);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(limits);
    layout->addWidget(bar);
    layout->addWidget(split, 1);

    connect(bar->RunButton(), &QPushButton::clicked, this, [this] { StartRun(); });
}

bool CLoopbackView::StartRun()
{
    const ChosenFormat f = context.format->Format();
    const ChosenDevice input = context.format->Input();
    const ChosenDevice output = context.format->Output();
    if (input.id < 0 || output.id < 0) {
        state = State::Failed;
        bar->SetStatus("Choose an input and an output device first");
        return false;
    }
    CLoopbackRequest request;
    request.input = {input.position, static_cast<std::uint32_t>(input.id), input.name};
    request.output = {output.position, static_cast<std::uint32_t>(output.id), output.name};
    request.format = {f.channels, f.sampleRate, f.bits, f.validBits, f.extended};
    request.limits.maxLatencyMs = LimitValue(maxLatency);
    request.limits.maxResponseDeviationDb = LimitValue(maxDeviation);
    request.limits.minDynamicRangeDb = LimitValue(minDynamicRange);
    request.toneChecks.maxThdnDb = LimitValue(maxThdn);

    auto result = std::make_shared<CLoopbackRun>();
    CSessionBar::ProgressPost progress = bar->ProgressPoster();
    auto work = [request, result, progress, cancelled = bar->CancelPoll()] {
        LoopbackHooks hooks;
        hooks.onProgress = [progress](int percent) { progress(percent, {}); };
        hooks.cancelRequested = cancelled;
        RunLoopbackSession(WaveApi(), request, hooks, *result);
    };
    auto finished = [this, result] {
        run = *result;
        hasRun = true;
        if (!bar->Failure().isEmpty()) {
            run.outcome = LoopbackOutcome::NotMeasured;
            run.error = bar->Failure().toStdString();
        }
        ShowRun(bar->TakeDeviceMessages());
    };
    if (!bar->Start(work, finished,
                    "Playing on " + QString::fromStdString(output.name) + " and recording from " +
                        QString::fromStdString(input.name) + "... (Esc cancels)"))
        return false;
    state = State::Running;
    return true;
}

void CLoopbackView::ShowRun(const QString& said)
{
    const bool measured = run.outcome == LoopbackOutcome::Measured;
    state = measured ? State::Shown : State::Failed;
    if (measured)
        bar->SetProgress(100);
    bar->SetStatus((measured ? QString("Measured") : QString::fromStdString(run.error)) + said);
    checks->Show(CheckVerdicts(run));
    table->setPlainText(QString::fromStdString(LoopbackTable(run, "\n")));
    if (!measured) {
        picture->Show(nullptr);
        return;
    }
    auto shown = std::make_shared<LoopbackPicture>();
    shown->response = run.measures.response;
    shown->tone = run.measures.tone;
    shown->bandLowHz = SweepStartHz;
    shown->bandHighHz = SweepTopShare * run.format.sampleRate;
    picture->Show(shown);
}

void CLoopbackView::Restore(const QSettings& s)
{
    maxLatency->setText(s.value("loopback/maxLatencyMs").toString());
    maxDeviation->setText(s.value("loopback/maxResponseDeviationDb").toString());
    minDynamicRange->setText(s.value("loopback/minDynamicRangeDb").toString());
    maxThdn->setText(s.value("loopback/maxThdnDb").toString());
}

void CLoopbackView::Save(QSettings& s) const
{
    s.setValue("loopback/maxLatencyMs", maxLatency->text());
    s.setValue("loopback/maxResponseDeviationDb", maxDeviation->text());
    s.setValue("loopback/minDynamicRangeDb", minDynamicRange->text());
    s.setValue("loopback/maxThdnDb", maxThdn->text());
}
