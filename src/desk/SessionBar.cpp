// SPDX-License-Identifier: GPL-3.0-or-later
#include "desk/SessionBar.h"

#include <QHBoxLayout>
#include <QPointer>
#include <QVBoxLayout>

#include "desk/DeskServices.h"
#include "desk/SessionRunner.h"

CSessionBar::CSessionBar(const DeskContext& shared, const Words& words, QWidget* parent)
    : QWidget(parent), context(shared), row(new QHBoxLayout), runButton(new QPushButton(words.run)),
      cancelButton(new QPushButton(words.cancel)), progress(new QProgressBar), status(new QLabel("Ready"))
{
    cancelButton->setEnabled(false);
    cancelButton->setAccessibleDescription(words.cancelDescription);
    progress->setRange(0, 100);
    progress->setValue(0);
    progress->setAccessibleName(words.progressName);
    status->setWordWrap(true);
    status->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    row->addWidget(runButton);
    row->addWidget(cancelButton);
    row->addWidget(progress, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(row);
    layout->addWidget(status);

    connect(cancelButton, &QPushButton::clicked, this, [this] { context.runner->Cancel(); });
}

void CSessionBar::AddField(const QString& text, QWidget* field)
{
    int before = row->indexOf(runButton);
    if (!text.isEmpty()) {
        auto* label = new QLabel(text);
        label->setBuddy(field);
        row->insertWidget(before++, label);
    }
    row->insertWidget(before, field);
    fields.push_back(field);
}

void CSessionBar::Lock(bool running)
{
    runButton->setEnabled(!running);
    cancelButton->setEnabled(running);
    for (QWidget* field : fields)
        field->setEnabled(!running);
    if (context.onRunning)
        context.onRunning(running);
}

bool CSessionBar::Start(std::function<void()> work, std::function<void()> finished, const QString& said)
{
    auto ended = [this, finished = std::move(finished)] {
        Lock(false);
        if (finished)
            finished();
    };
    if (!context.runner->Start(std::move(work), std::move(ended)))
        return false;
    progress->setValue(0);
    status->setText(said);
    Lock(true);
    return true;
}

CSessionBar::ProgressPost CSessionBar::ProgressPoster()
{
    CSessionRunner* runner = context.runner;
    QPointer<CSessionBar> bar = this;
    return [runner, bar](int percent, const QString& said) {
        runner->Post([bar, percent, said] {
            if (!bar)
                return;
            bar->progress->setValue(percent);
            if (!said.isEmpty())
                bar->status->setText(said);
        });
    };
}

CSessionBar::Post CSessionBar::Poster() const
{
    CSessionRunner* runner = context.runner;
    return [runner](std::function<void()> call) { runner->Post(std::move(call)); };
}

std::function<bool()> CSessionBar::CancelPoll() const
{
    CSessionRunner* runner = context.runner;
    return [runner] { return runner->CancelRequested(); };
}

QString CSessionBar::TakeDeviceMessages() const
{
    QString text;
    for (const std::string& m : context.services->TakeMessages())
        text += (text.isEmpty() ? "" : ", ") + QString::fromStdString(m);
    return text.isEmpty() ? text : " (the device layer said: " + text + ")";
}

QString CSessionBar::Failure() const
{
    return QString::fromStdString(context.runner->Failure());
}
