// SPDX-License-Identifier: GPL-3.0-or-later
#include "desk/InputView.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPointer>
#include <QSplitter>
#include <QVBoxLayout>

#include <memory>

#include "desk/DeskServices.h"
#include "desk/FormatPanel.h"
#include "desk/LevelMeters.h"
#include "desk/Pictures.h"
#include "desk/SessionRunner.h"
#include "desk/VerdictList.h"
#include "measure/AnalysisSources.h"

CInputView::CInputView(const DeskContext& shared, QWidget* parent)
    : QWidget(parent), context(shared), secondsBox(new QSpinBox), checkButton(new QPushButton("&Check the input")),
      cancelButton(new QPushButton("Cancel")), progress(new QProgressBar), status(new QLabel("Ready")),
      meters(new CLevelMeters), heading(new QLabel("Nothing analysed yet")),
      verdicts(new CVerdictList("Verdicts of the analysis")), details(new QPlainTextEdit),
      picture(new CAnalysisPicture)
{
    secondsBox->setRange(1, MaxDurationSeconds);
    secondsBox->setValue(4);
    secondsBox->setSuffix(" s");
    secondsBox->setAccessibleName("Recording length in seconds");
    cancelButton->setEnabled(false);
    cancelButton->setAccessibleDescription("Ends the recording; Esc does the same");
    progress->setRange(0, 100);
    progress->setValue(0);
    progress->setAccessibleName("Recording progress");
    status->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    heading->setWordWrap(true);
    details->setReadOnly(true);
    details->setAccessibleName("Analysis text");
    details->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    details->setLineWrapMode(QPlainTextEdit::NoWrap);

    auto* lengthLabel = new QLabel("Recording &length:");
    lengthLabel->setBuddy(secondsBox);
    auto* controls = new QHBoxLayout;
    controls->addWidget(lengthLabel);
    controls->addWidget(secondsBox);
    controls->addWidget(checkButton);
    controls->addWidget(cancelButton);
    controls->addWidget(progress, 1);

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
    layout->addLayout(controls);
    layout->addWidget(status);
    layout->addWidget(meters);
    layout->addWidget(split, 1);

    connect(checkButton, &QPushButton::clicked, this, [this] { StartCheck(); });
    connect(cancelButton, &QPushButton::clicked, this, [this] { context.runner->Cancel(); });
}

void CInputView::OnRunning(bool running)
{
    checkButton->setEnabled(!running);
    secondsBox->setEnabled(!running);
    cancelButton->setEnabled(running);
    if (context.onRunning)
        context.onRunning(running);
}

QString CInputView::Messages() const
{
    QString text;
    for (const std::string& m : context.services->TakeMessages())
        text += (text.isEmpty() ? "" : ", ") + QString::fromStdString(m);
    return text.isEmpty() ? text : " (the device layer said: " + text + ")";
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
    CSessionRunner* runner = context.runner;
    // The meters are this view's: the levels go straight to them.
    QPointer<CLevelMeters> shownMeters = meters;
    QPointer<QProgressBar> shownProgress = progress;
    auto record = [runner, request, result, shownMeters, shownProgress] {
        InputCheckHooks hooks;
        hooks.onLevels = [runner, shownMeters, shownProgress](const LevelUpdate& update) {
            runner->Post([shownMeters, shownProgress, update] {
                if (shownMeters)
                    shownMeters->Show(update.channels);
                if (shownProgress)
                    shownProgress->setValue(update.percent);
            });
        };
        hooks.cancelRequested = [runner] { return runner->CancelRequested(); };
        RunInputCheck(request, hooks, *result);
    };
    auto finished = [this, result, request] {
        OnRunning(false);
        const QString said = Messages();
        if (!context.runner->Failure().empty()) {
            ShowFailure(QString::fromStdString(context.runner->Failure()));
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
        status->setText("Recorded and analysed" + said);
    };
    if (!runner->Start(record, finished))
        return false;
    state = State::Recording;
    meters->Reset(f.channels);
    progress->setValue(0);
    status->setText("Recording from " + QString::fromStdString(device.name) + "... (Esc cancels)");
    OnRunning(true);
    return true;
}

bool CInputView::OpenFile(const QString& path)
{
    auto result = std::make_shared<CAnalysisOutcome>();
    const std::string file = path.toStdString();
    auto read = [file, result] { *result = AnalyseFile(file, 0, AnalysisRequest{}); };
    auto finished = [this, result, path] {
        OnRunning(false);
        if (!context.runner->Failure().empty()) {
            ShowFailure(QString::fromStdString(context.runner->Failure()));
            return;
        }
        if (result->unreadable) {
            ShowFailure("The file cannot be analysed: " + QString::fromStdString(result->analysis.error));
            return;
        }
        ShowOutcome(*result, "The file " + QFileInfo(path).fileName());
        status->setText("Read and analysed " + path);
    };
    if (!context.runner->Start(read, finished))
        return false;
    state = State::Reading;
    progress->setValue(0);
    status->setText("Reading " + path + "...");
    OnRunning(true);
    return true;
}

void CInputView::ShowOutcome(const CAnalysisOutcome& shown, const QString& text)
{
    outcome = shown;
    state = State::Shown;
    progress->setValue(100);
    heading->setText(text);
    verdicts->Show(JudgeAnalysis(outcome.analysis));
    details->setPlainText(QString::fromStdString(AnalysisSection(outcome, "\n")));
    picture->Show(std::make_shared<const SignalAnalysis>(outcome.analysis));
}

void CInputView::ShowFailure(const QString& why)
{
    state = State::Failed;
    status->setText(why);
    verdicts->Show({});
    details->clear();
    picture->Show(nullptr);
    heading->setText("Nothing analysed");
}
