// SPDX-License-Identifier: GPL-3.0-or-later
#include "desk/InputView.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QPointer>
#include <QSplitter>
#include <QVBoxLayout>

#include <memory>

#include "desk/FormatPanel.h"
#include "desk/LevelMeters.h"
#include "desk/Pictures.h"
#include "desk/VerdictList.h"
#include "measure/AnalysisSources.h"

CInputView::CInputView(const DeskContext& shared, QWidget* parent)
    : QWidget(parent), context(shared), secondsBox(new QSpinBox),
      bar(new CSessionBar(shared, {"&Check the input", "Cancel", "Ends the recording; Esc does the same",
                                   "Recording progress"})),
      meters(new CLevelMeters), heading(new QLabel("Nothing analysed yet")),
      verdicts(new CVerdictList("Verdicts of the analysis")), details(new QPlainTextEdit),
      picture(new CAnalysisPicture)
{
    secondsBox->setRange(1, MaxDurationSeconds);
    secondsBox->setValue(4);
    secondsBox->setSuffix(" s");
    secondsBox->setAccessibleName("Recording length in seconds");
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    heading->setWordWrap(true);
    details->setReadOnly(true);
    details->setAccessibleName("Analysis text");
    details->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    details->setLineWrapMode(QPlainTextEdit::NoWrap);

    bar->AddField("Recording &length:", secondsBox);

    auto* left = new QWidget;
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(heading);
    leftLayout->addWidget(verdicts, 2);
    leftLayout->addWidget(details, 3);
    auto* split = new QSplitter(Qt::Horizontal);
    split->addWidget(left);
    split->addWidget(picture);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);
    split->setSizes({460, 640});
    split->setChildrenCollapsible(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(bar);
    layout->addWidget(meters);
    layout->addWidget(split, 1);

    connect(bar->RunButton(), &QPushButton::clicked, this, [this] { StartCheck(); });
}

bool CInputView::StartCheck()
{
    const ChosenDevice device = context.format->Input();
    const ChosenFormat f = context.format->Format();
    InputCheckRequest request;
    request.device = device.id;
    request.deviceName = device.name;
    request.channels = f.channels;
    request.sampleRate = f.sampleRate;
    request.bits = f.bits;
    request.validBits = f.validBits;
    request.extended = f.extended;
    request.seconds = secondsBox->value();

    auto result = std::make_shared<InputCheckResult>();
    // The meters are this view's: the levels go straight to them.
    QPointer<CLevelMeters> shownMeters = meters;
    auto record = [request, result, shownMeters, post = bar->Poster(), progress = bar->ProgressPoster(),
                   cancelled = bar->CancelPoll()] {
        InputCheckHooks hooks;
        hooks.onLevels = [post, progress, shownMeters](const LevelUpdate& update) {
            post([shownMeters, update] {
                if (shownMeters)
                    shownMeters->Show(update.channels);
            });
            progress(update.percent, {});
        };
        hooks.cancelRequested = cancelled;
        RunInputCheck(request, hooks, *result);
    };
    auto finished = [this, result, request] {
        const QString said = bar->TakeDeviceMessages();
        if (!bar->Failure().isEmpty()) {
            ShowFailure(bar->Failure());
            return;
        }
        if (result->outcome != InputCheckOutcome::Analysed) {
            ShowFailure(QString::fromStdString(result->error) + said);
            return;
        }
        ShowOutcome(result->analysis, QString("The recording from %1: %2 Hz, %3 channel(s), %4-bit (%5 valid)")
                                          .arg(QString::fromStdString(request.deviceName))
                                          .arg(request.sampleRate)
                                          .arg(request.channels)
                                          .arg(request.bits)
                                          .arg(request.validBits));
        bar->SetStatus("Recorded and analysed" + said);
    };
    if (!bar->Start(record, finished, "Recording from " + QString::fromStdString(device.name) + "... (Esc cancels)"))
        return false;
    state = State::Recording;
    meters->Reset(f.channels);
    return true;
}

bool CInputView::OpenFile(const QString& path)
{
    auto result = std::make_shared<CAnalysisOutcome>();
    const std::string file = path.toStdString();
    auto read = [file, result] { *result = AnalyseFile(file, 0, AnalysisRequest{}); };
    auto finished = [this, result, path] {
        if (!bar->Failure().isEmpty()) {
            ShowFailure(bar->Failure());
            return;
        }
        if (result->unreadable) {
            ShowFailure("The file cannot be analysed: " + QString::fromStdString(result->analysis.error));
            return;
        }
        ShowOutcome(*result, "The file " + QFileInfo(path).fileName());
        bar->SetStatus("Read and analysed " + path);
    };
    if (!bar->Start(read, finished, "Reading " + path + "..."))
        return false;
    state = State::Reading;
    return true;
}

void CInputView::ShowOutcome(const CAnalysisOutcome& shown, const QString& text)
{
    outcome = shown;
    state = State::Shown;
    bar->SetProgress(100);
    heading->setText(text);
    verdicts->Show(JudgeAnalysis(outcome.analysis));
    details->setPlainText(QString::fromStdString(AnalysisSection(outcome, "\n")));
    picture->Show(std::make_shared<const SignalAnalysis>(outcome.analysis));
}

void CInputView::ShowFailure(const QString& why)
{
    state = State::Failed;
    bar->SetStatus(why);
    verdicts->Show({});
    details->clear();
    picture->Show(nullptr);
    heading->setText("Nothing analysed");
}
