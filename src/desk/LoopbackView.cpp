// SPDX-License-Identifier: GPL-3.0-or-later
#include "desk/LoopbackView.h"

#include <QDoubleValidator>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPointer>
#include <QSplitter>
#include <QVBoxLayout>

#include <memory>

#include "analysis/loopback/Stimulus.h"
#include "desk/DeskServices.h"
#include "desk/FormatPanel.h"
#include "desk/Pictures.h"
#include "desk/SessionRunner.h"
#include "desk/VerdictList.h"
#include "measure/loopback/LoopbackSession.h"
#include "measure/loopback/LoopbackText.h"

namespace {

QLineEdit* LimitField(const QString& name, const QString& unit)
{
    auto* field = new QLineEdit;
    field->setAccessibleName(name + " (" + unit + ")");
    field->setPlaceholderText("not set");
    // Numbers as the command line reads them, whatever the desktop's locale.
    auto* validator = new QDoubleValidator(-400, 100000, 3, field);
    validator->setLocale(QLocale::c());
    field->setValidator(validator);
    field->setMaximumWidth(field->fontMetrics().horizontalAdvance("-0000.000") + 24);
    return field;
}

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

std::optional<double> LimitValue(const QLineEdit* field)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(field->text().trimmed(), &ok);
    if (!ok)
        return std::nullopt;
    return value;
}

CLoopbackView::CLoopbackView(const DeskContext& shared, QWidget* parent)
    : QWidget(parent), context(shared), maxLatency(LimitField("Largest latency", "ms")),
      maxDeviation(LimitField("Largest response deviation", "dB")),
      minDynamicRange(LimitField("Smallest dynamic range", "dB")), maxThdn(LimitField("Largest THD+N", "dB")),
      runButton(new QPushButton("Run the &loopback")), cancelButton(new QPushButton("Cancel")),
      progress(new QProgressBar), status(new QLabel("Ready: wire the output back to the input")),
      checks(new CVerdictList("Loopback checks")), table(new QPlainTextEdit), picture(new CLoopbackPicture)
{
    cancelButton->setEnabled(false);
    cancelButton->setAccessibleDescription("Ends the run; Esc does the same");
    progress->setRange(0, 100);
    progress->setAccessibleName("Loopback progress");
    status->setWordWrap(true);
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
    addLimit("THD+N at mo&st (dB):", maxThdn);
    limits->addStretch(1);

    auto* controls = new QHBoxLayout;
    controls->addWidget(runButton);
    controls->addWidget(cancelButton);
    controls->addWidget(progress, 1);

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
    layout->addLayout(controls);
    layout->addWidget(status);
    layout->addWidget(split, 1);

    connect(runButton, &QPushButton::clicked, this, [this] { StartRun(); });
    connect(cancelButton, &QPushButton::clicked, this, [this] { context.runner->Cancel(); });
}

void CLoopbackView::OnRunning(bool running)
{
    runButton->setEnabled(!running);
    cancelButton->setEnabled(running);
    if (context.onRunning)
        context.onRunning(running);
}

bool CLoopbackView::StartRun()
{
    const ChosenFormat f = context.format->Format();
    const ChosenDevice input = context.format->Input();
    const ChosenDevice output = context.format->Output();
    if (input.id < 0 || output.id < 0) {
        state = State::Failed;
        status->setText("Choose an input and an output device first");
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
    CSessionRunner* runner = context.runner;
    QPointer<QProgressBar> shownProgress = progress;
    auto work = [runner, request, result, shownProgress] {
        LoopbackHooks hooks;
        hooks.onProgress = [runner, shownProgress](int percent) {
            runner->Post([shownProgress, percent] {
                if (shownProgress)
                    shownProgress->setValue(percent);
            });
        };
        hooks.cancelRequested = [runner] { return runner->CancelRequested(); };
        RunLoopbackSession(WaveApi(), request, hooks, *result);
    };
    auto finished = [this, result] {
        OnRunning(false);
        run = *result;
        hasRun = true;
        if (!context.runner->Failure().empty()) {
            run.outcome = LoopbackOutcome::NotMeasured;
            run.error = context.runner->Failure();
        }
        QString said;
        for (const std::string& m : context.services->TakeMessages())
            said += (said.isEmpty() ? " (the device layer said: " : ", ") + QString::fromStdString(m);
        ShowRun(said.isEmpty() ? said : said + ")");
    };
    if (!runner->Start(work, finished))
        return false;
    state = State::Running;
    progress->setValue(0);
    status->setText("Playing on " + QString::fromStdString(output.name) + " and recording from " +
                    QString::fromStdString(input.name) + "... (Esc cancels)");
    OnRunning(true);
    return true;
}

void CLoopbackView::ShowRun(const QString& said)
{
    const bool measured = run.outcome == LoopbackOutcome::Measured;
    state = measured ? State::Shown : State::Failed;
    progress->setValue(measured ? 100 : progress->value());
    status->setText((measured ? QString("Measured") : QString::fromStdString(run.error)) + said);
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
