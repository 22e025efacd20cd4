// SPDX-License-Identifier: GPL-3.0-or-later
#include "desk/MeasureWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenuBar>
#include <QMimeData>
#include <QSettings>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include "desk/DeskServices.h"
#include "desk/FormatPanel.h"
#include "desk/FormatsView.h"
#include "desk/InputView.h"
#include "desk/LoopbackView.h"
#include "desk/ReportSave.h"
#include "desk/SessionRunner.h"
#include "desk/SoakView.h"

#ifndef TALLOWMERE_VERSION
#define TALLOWMERE_VERSION "unknown"
#endif

namespace {

// A save is a write of a new file and a rename over the old one: the
// watcher sees the name vanish and come back, so it looks again a moment later.
constexpr int ReanalyseDelayMs = 300;

} // namespace

QString FirstWaveFile(const QList<QUrl>& urls)
{
    for (const QUrl& url : urls)
        if (url.isLocalFile() && url.toLocalFile().endsWith(".wav", Qt::CaseInsensitive))
            return url.toLocalFile();
    return {};
}

CMeasureWindow::CMeasureWindow(CDeskServices& deskServices, QWidget* parent)
    : QMainWindow(parent), services(deskServices), runner(new CSessionRunner(this)), format(new CFormatPanel),
      views(new QTabWidget)
{
    setWindowTitle("Tallowmere Measurements");
    setAcceptDrops(true);
    DeskContext context;
    context.format = format;
    context.runner = runner;
    context.services = &services;
    context.onRunning = [this](bool running) { OnRunning(running); };
    inputView = new CInputView(context);
    loopbackView = new CLoopbackView(context);
    formatsView = new CFormatsView(context);
    soakView = new CSoakView(context);
    views->setAccessibleName("Measurements");
    views->addTab(inputView, "Chec&k the input");
    views->addTab(loopbackView, "Loop&back");
    views->addTab(formatsView, "Forma&ts");
    views->addTab(soakView, "&Soak");

    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(format);
    layout->addWidget(views, 1);
    setCentralWidget(central);
    BuildMenus();

    // Esc ends whatever session runs, from anywhere in the window.
    auto* cancel = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    cancel->setContext(Qt::WindowShortcut);
    connect(cancel, &QShortcut::activated, this, [this] { runner->Cancel(); });
    connect(&watcher, &QFileSystemWatcher::fileChanged, this, [this] { OnFollowedFileChanged(); });

    RestoreSettings();
    statusBar()->showMessage("Ready");
}

CMeasureWindow::~CMeasureWindow() = default;

void CMeasureWindow::BuildMenus()
{
    QMenu* file = menuBar()->addMenu("&File");
    openAction = file->addAction("&Open a WAVE file...", this, [this] { OnOpenFile(); });
    openAction->setShortcut(QKeySequence::Open);
    refreshAction = file->addAction("&Refresh the device lists", this, [this] { ListDevices(); });
    refreshAction->setShortcut(QKeySequence(Qt::Key_F5));
    reportAction = file->addAction("&Save report...", this, [this] { OnSaveReport(); });
    reportAction->setShortcut(QKeySequence::Save);
    file->addSeparator();
    QAction* quit = file->addAction("&Quit", this, [this] { close(); });
    quit->setShortcut(QKeySequence::Quit);
}

bool CMeasureWindow::ListDevices(std::function<void()> prepare, std::function<void()> listed)
{
    struct Lists {
        std::vector<ListedDevice> inputs;
        std::vector<ListedDevice> outputs;
    };
    auto lists = std::make_shared<Lists>();
    auto work = [prepare = std::move(prepare), lists] {
        if (prepare)
            prepare();
        lists->inputs = ListWaveDevices(WaveApi(), WaveDirection::Input);
        lists->outputs = ListWaveDevices(WaveApi(), WaveDirection::Output);
    };
    auto finished = [this, lists, listed = std::move(listed)] {
        listing = false;
        OnRunning(false);
        format->SetDevices(std::move(lists->inputs), std::move(lists->outputs));
        if (!runner->Failure().empty())
            statusBar()->showMessage("The devices could not be listed: " + QString::fromStdString(runner->Failure()));
        if (listed)
            listed();
    };
    if (!runner->Start(std::move(work), std::move(finished)))
        return false;
    listing = true;
    OnRunning(true);
    return true;
}

void CMeasureWindow::OnOpenFile()
{
    const QString path = QFileDialog::getOpenFileName(this, "Open a WAVE file", QString(), "WAVE files (*.wav)");
    if (!path.isEmpty())
        OpenWaveFile(path);
}

bool CMeasureWindow::OpenWaveFile(const QString& path)
{
    if (runner->Running())
        return false;
    views->setCurrentWidget(inputView);
    if (!followed.isEmpty())
        watcher.removePath(followed);
    followed = QFileInfo(path).absoluteFilePath();
    watcher.addPath(followed);
    return inputView->OpenFile(followed);
}

void CMeasureWindow::OnSaveReport()
{
    const QString path =
        QFileDialog::getSaveFileName(this, "Save report", "tallowmere-report.html", "HTML report (*.html)");
    if (!path.isEmpty())
        SaveReport(path);
}

bool CMeasureWindow::SaveReport(const QString& path)
{
    auto content = std::make_shared<DeskReportContent>();
    if (inputView->CurrentState() == CInputView::State::Shown)
        content->analysis = inputView->Outcome();
    if (loopbackView->CurrentState() == CLoopbackView::State::Shown ||
        loopbackView->CurrentState() == CLoopbackView::State::Failed)
        if (loopbackView->HasRun())
            content->loopback = loopbackView->Run();
    if (formatsView->CurrentState() == CFormatsView::State::Shown ||
        formatsView->CurrentState() == CFormatsView::State::Cancelled)
        content->formats = formatsView->Result();
    if (soakView->HasRun() && soakView->CurrentState() != CSoakView::State::Running) {
        content->soak = soakView->Run();
        content->soakLimits = soakView->Limits();
    }
    if (content->loopback) {
        content->devices.push_back({"capture", content->loopback->input.name,
                                    content->loopback->inputHost ? content->loopback->inputHost->deviceName : ""});
        content->devices.push_back({"playback", content->loopback->output.name,
                                    content->loopback->outputHost ? content->loopback->outputHost->deviceName : ""});
    } else if (content->soak) {
        if (content->soak->mode != SoakMode::PlayOnly)
            content->devices.push_back({"capture", content->soak->input.name, ""});
        if (content->soak->mode != SoakMode::RecordOnly)
            content->devices.push_back({"playback", content->soak->output.name, ""});
    }
    if (content->Empty()) {
        lastReportMessage = "Nothing to report yet: check the input, run the loopback, the matrix or a soak first";
        statusBar()->showMessage(lastReportMessage);
        return false;
    }
    auto outcome = std::make_shared<std::string>();
    auto written = std::make_shared<bool>(false);
    const std::string file = path.toStdString();
    auto work = [content, outcome, written, file] {
        *written = SaveDeskReport(*content, "tallowmere-measure " TALLOWMERE_VERSION, file, *outcome);
    };
    auto finished = [this, outcome, written, path] {
        reportSaving = false;
        OnRunning(false);
        lastReportMessage = *written ? "Report saved to " + path + " (and its JSON beside it)"
                                     : "The report was not saved: " + QString::fromStdString(*outcome);
        statusBar()->showMessage(lastReportMessage);
    };
    if (!runner->Start(work, finished))
        return false;
    reportSaving = true;
    OnRunning(true);
    statusBar()->showMessage("Saving the report...");
    return true;
}

void CMeasureWindow::OnFollowedFileChanged()
{
    if (reanalysePending)
        return;
    reanalysePending = true;
    QTimer::singleShot(ReanalyseDelayMs, this, [this] {
        reanalysePending = false;
        if (followed.isEmpty() || !QFileInfo::exists(followed))
            return;
        // A name replaced by a rename is no longer watched; watch it again.
        if (!watcher.files().contains(followed))
            watcher.addPath(followed);
        if (runner->Running() || !inputView->OpenFile(followed))
            return;
        views->setCurrentWidget(inputView);
        statusBar()->showMessage("The file changed; analysing it again");
    });
}

void CMeasureWindow::OnRunning(bool running)
{
    // The devices and format stay as they were while a session uses them,
    // and the wave API is the session's alone.
    format->setEnabled(!running);
    openAction->setEnabled(!running);
    refreshAction->setEnabled(!running);
    reportAction->setEnabled(!running);
    if (listing)
        statusBar()->showMessage("Listing the devices...");
    else if (!reportSaving)
        statusBar()->showMessage(running ? "Running: Esc cancels" : "Ready");
}

void CMeasureWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls() && !FirstWaveFile(event->mimeData()->urls()).isEmpty())
        event->acceptProposedAction();
}

void CMeasureWindow::dropEvent(QDropEvent* event)
{
    if (OpenDropped(*event->mimeData()))
        event->acceptProposedAction();
}

bool CMeasureWindow::OpenDropped(const QMimeData& data)
{
    const QString path = FirstWaveFile(data.urls());
    return !path.isEmpty() && OpenWaveFile(path);
}

void CMeasureWindow::RestoreSettings()
{
    QSettings settings;
    format->Restore(settings);
    loopbackView->Restore(settings);
    formatsView->Restore(settings);
    soakView->Restore(settings);
    inputView->SecondsBox()->setValue(settings.value("input/seconds", 4).toInt());
    views->setCurrentIndex(std::clamp(settings.value("window/view", 0).toInt(), 0, views->count() - 1));
    if (!restoreGeometry(settings.value("window/geometry").toByteArray()))
        resize(1100, 780);
}

void CMeasureWindow::SaveSettings() const
{
    QSettings settings;
    format->Save(settings);
    loopbackView->Save(settings);
    formatsView->Save(settings);
    soakView->Save(settings);
    settings.setValue("input/seconds", inputView->SecondsBox()->value());
    settings.setValue("window/view", views->currentIndex());
    settings.setValue("window/geometry", saveGeometry());
}

void CMeasureWindow::closeEvent(QCloseEvent* event)
{
    SaveSettings();
    runner->Cancel();
    event->accept();
}
