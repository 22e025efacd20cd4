// SPDX-License-Identifier: GPL-3.0-or-later
#include "desk/SoakView.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QSplitter>
#include <QStringList>
#include <QVBoxLayout>

#include <algorithm>
#include <mutex>

#include "desk/FormatPanel.h"
#include "desk/LimitField.h"
#include "desk/Pictures.h"
#include "desk/SoakVerdicts.h"
#include "desk/VerdictList.h"
#include "measure/soak/SoakSession.h"
#include "measure/soak/SoakText.h"
#include "measure/soak/SoakTimeline.h"

namespace {

// The text keeps the events the result keeps, and the summary's lines.
constexpr int TextLinesKept = static_cast<int>(SoakEventsKept) + 64;

// Event lines from the session's thread, handed over in batches: a device
// failing in a burst posts one call to the interface thread, not thousands.
class CEventLines {
public:
    // True when the batch was empty, so the caller posts a call to take it.
    bool Add(const QString& line)
    {
        std::lock_guard<std::mutex> hold(lock);
        lines.push_back(line);
        return lines.size() == 1;
    }
    QStringList Take()
    {
        std::lock_guard<std::mutex> hold(lock);
        QStringList taken;
        taken.swap(lines);
        return taken;
    }

private:
    std::mutex lock;
    QStringList lines;
};

QString Counts(const SoakRun& run)
{
    return QString("%1 event(s): %2 xrun(s), %3 glitch(es)").arg(run.eventCount).arg(run.xruns).arg(run.glitches);
}

QString EndWords(const SoakRun& run)
{
    const QString at = QString::fromStdString(SoakClock(run.elapsedSeconds));
    switch (run.outcome) {
    case SoakOutcome::Completed: return "Completed after " + at + ", " + Counts(run);
    case SoakOutcome::Cancelled:
        return "Stopped at " + at + " of " + QString::fromStdString(SoakClock(run.durationSeconds)) + ", " +
               Counts(run);
    case SoakOutcome::DeviceFailed: return "Ended at " + at + ": " + QString::fromStdString(run.error);
    case SoakOutcome::Refused: break;
    }
    return "Not run: " + QString::fromStdString(run.error);
}

} // namespace

double SoakDurationSeconds(int value, int unit)
{
    const double scale = unit == 2 ? 3600 : unit == 1 ? 60 : 1;
    return std::max(value, 0) * scale;
}

CSoakView::CSoakView(const DeskContext& shared, QWidget* parent)
    : QWidget(parent), context(shared), modeBox(new QComboBox), durationBox(new QSpinBox), unitBox(new QComboBox),
      maxXruns(NewLimitField("Most xruns", "count", 0, 0)),
      maxGlitches(NewLimitField("Most glitches", "count", 0, 0)),
      maxDrift(NewLimitField("Largest drift", "ppm", 0)), maxWander(NewLimitField("Largest latency wander", "ms", 0)),
      bar(new CSessionBar(shared, {"Start th&e soak", "Stop",
                                   "Ends the soak and shows what it found; Esc does the same", "Soak progress"})),
      checks(new CVerdictList("Soak checks")), text(new QPlainTextEdit), picture(new CSoakPicture)
{
    modeBox->setAccessibleName("Soak mode");
    modeBox->addItem("Full duplex: the output wired back to the input");
    modeBox->addItem("Record only: the input alone");
    modeBox->addItem("Play only: the output alone");
    durationBox->setAccessibleName("Soak duration");
    durationBox->setRange(0, 9999);
    durationBox->setSpecialValueText("until stopped");
    durationBox->setValue(10);
    unitBox->setAccessibleName("Soak duration unit");
    unitBox->addItems({"seconds", "minutes", "hours"});
    unitBox->setCurrentIndex(1);
    text->setReadOnly(true);
    text->setAccessibleName("Soak events and summary");
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setMaximumBlockCount(TextLinesKept);
    text->setPlaceholderText("Each event is listed here as it is found, then the summary.");
    bar->SetStatus("Ready: for full duplex, wire the output back to the input");
    bar->AddField("&Mode:", modeBox);
    bar->AddField("&Duration:", durationBox);
    bar->AddField(QString(), unitBox);

    auto* limits = new QHBoxLayout;
    auto addLimit = [limits](const QString& label, QLineEdit* field) {
        auto* named = new QLabel(label);
        named->setBuddy(field);
        limits->addWidget(named);
        limits->addWidget(field);
    };
    addLimit("&Xruns at most:", maxXruns);
    addLimit("&Glitches at most:", maxGlitches);
    addLimit("Drift &within ± (ppm):", maxDrift);
    addLimit("&Latency wander at most (ms):", maxWander);
    limits->addStretch(1);

    auto* left = new QWidget;
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(checks, 2);
    leftLayout->addWidget(text, 3);
    auto* split = new QSplitter(Qt::Horizontal);
    split->addWidget(left);
    split->addWidget(picture);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);
    split->setSizes({500, 600});
    split->setChildrenCollapsible(false);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(limits);
    layout->addWidget(bar);
    layout->addWidget(split, 1);

    connect(bar->RunButton(), &QPushButton::clicked, this, [this] { StartSoak(); });
}

SoakRequest CSoakView::Request() const
{
    const ChosenFormat f = context.format->Format();
    const ChosenDevice input = context.format->Input();
    const ChosenDevice output = context.format->Output();
    SoakRequest request;
    request.mode = static_cast<SoakMode>(std::clamp(modeBox->currentIndex(), 0, 2));
    request.input = {static_cast<std::uint32_t>(std::max(input.id, 0)), input.name};
    request.output = {static_cast<std::uint32_t>(std::max(output.id, 0)), output.name};
    request.format = {f.channels, f.sampleRate, f.bits, f.validBits, f.extended};
    request.durationSeconds = SoakDurationSeconds(durationBox->value(), unitBox->currentIndex());
    request.limits.maxXruns = LimitCount(maxXruns);
    request.limits.maxGlitches = LimitCount(maxGlitches);
    request.limits.maxDriftPpm = LimitValue(maxDrift);
    request.limits.maxLatencyWanderMs = LimitValue(maxWander);
    return request;
}

bool CSoakView::StartSoak()
{
    const SoakRequest request = Request();
    const bool needsInput = request.mode != SoakMode::PlayOnly;
    const bool needsOutput = request.mode != SoakMode::RecordOnly;
    if ((needsInput && context.format->Input().id < 0) || (needsOutput && context.format->Output().id < 0)) {
        state = State::Failed;
        bar->SetStatus(needsInput && needsOutput ? "Choose an input and an output device first"
                                                 : needsInput ? "Choose an input device first"
                                                              : "Choose an output device first");
        return false;
    }
    auto result = std::make_shared<SoakRun>();
    auto events = std::make_shared<CEventLines>();
    QPointer<CSoakView> view = this;
    auto work = [request, result, events, view, post = bar->Poster(), cancelled = bar->CancelPoll()] {
        SoakHooks hooks;
        hooks.onEvent = [events, view, post](const SoakEvent& event, const SoakRun&) {
            if (events->Add(QString::fromStdString(SoakEventLine(event))))
                post([events, view] {
                    if (view)
                        view->text->appendPlainText(events->Take().join('\n'));
                });
        };
        hooks.onStatus = [view, post](const SoakRun& sofar) {
            auto timeline = std::make_shared<const SoakTimeline>(MakeSoakTimeline(sofar));
            const QString said = QString::fromStdString(SoakStatus(sofar));
            const double share = sofar.durationSeconds > 0 ? sofar.elapsedSeconds / sofar.durationSeconds : 0;
            const int percent = static_cast<int>(100 * std::min(share, 1.0));
            post([view, timeline, said, percent] {
                if (view)
                    view->ShowStatus(timeline, said, percent);
            });
        };
        hooks.cancelRequested = cancelled;
        RunSoakSession(WaveApi(), request, hooks, *result);
    };
    auto finished = [this, result, asked = request.limits] {
        run = *result;
        limits = asked;
        hasRun = true;
        if (!bar->Failure().isEmpty()) {
            run.outcome = SoakOutcome::DeviceFailed;
            run.error = bar->Failure().toStdString();
        }
        ShowRun(bar->TakeDeviceMessages());
    };
    const QString started = request.durationSeconds > 0
                                ? QString("Soaking for %1... (Stop or Esc ends it early)")
                                      .arg(QString::fromStdString(SoakClock(request.durationSeconds)))
                                : QString("Soaking until stopped... (Stop or Esc ends it)");
    if (!bar->Start(work, finished, started))
        return false;
    state = State::Running;
    checks->Show({});
    text->clear();
    picture->Show(nullptr);
    return true;
}

void CSoakView::ShowStatus(std::shared_ptr<const SoakTimeline> timeline, const QString& said, int percent)
{
    if (state != State::Running)
        return;
    picture->Show(std::move(timeline));
    bar->SetStatus(said);
    bar->SetProgress(percent);
}

void CSoakView::ShowRun(const QString& said)
{
    const bool ran = run.outcome == SoakOutcome::Completed || run.outcome == SoakOutcome::Cancelled;
    state = ran ? State::Shown : State::Failed;
    if (run.outcome == SoakOutcome::Completed)
        bar->SetProgress(100);
    bar->SetStatus(EndWords(run) + said);
    checks->Show(JudgeSoak(run, limits.Any()));
    text->setPlainText(QString::fromStdString(SoakSummary(run, "\n")));
    if (run.outcome == SoakOutcome::Refused)
        picture->Show(nullptr);
    else
        picture->Show(std::make_shared<const SoakTimeline>(MakeSoakTimeline(run)));
}

void CSoakView::Restore(const QSettings& s)
{
    modeBox->setCurrentIndex(std::clamp(s.value("soak/mode", 0).toInt(), 0, 2));
    durationBox->setValue(s.value("soak/duration", 10).toInt());
    unitBox->setCurrentIndex(std::clamp(s.value("soak/unit", 1).toInt(), 0, 2));
    maxXruns->setText(s.value("soak/maxXruns").toString());
    maxGlitches->setText(s.value("soak/maxGlitches").toString());
    maxDrift->setText(s.value("soak/maxDriftPpm").toString());
    maxWander->setText(s.value("soak/maxLatencyWanderMs").toString());
}

void CSoakView::Save(QSettings& s) const
{
    s.setValue("soak/mode", modeBox->currentIndex());
    s.setValue("soak/duration", durationBox->value());
    s.setValue("soak/unit", unitBox->currentIndex());
    s.setValue("soak/maxXruns", maxXruns->text());
    s.setValue("soak/maxGlitches", maxGlitches->text());
    s.setValue("soak/maxDriftPpm", maxDrift->text());
    s.setValue("soak/maxLatencyWanderMs", maxWander->text());
}
