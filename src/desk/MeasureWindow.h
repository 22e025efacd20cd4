// SPDX-License-Identifier: GPL-3.0-or-later
// The measurement window: the devices and format above, the views below
// (Check the input, Loopback, Formats, Soak), a WAVE file opened from the menu,
// by dropping it on the window or named on the command line. Esc cancels
// the session that runs. A file opened is watched: when it is written
// again (the test dialog saving its recording over it, say) it is analysed
// again. What was chosen is kept in the settings for the next start. The
// window is built without its device lists: they are filled off the
// interface thread (ListDevices), since a sound system's enumeration and
// the devices' capability queries take a while, and the window should
// show at once.
#pragma once

#include <QAction>
#include <QFileSystemWatcher>
#include <QMainWindow>
#include <QMimeData>
#include <QTabWidget>

#include <functional>

#include "desk/DeskContext.h"

class CFormatPanel;
class CSessionRunner;
class CDeskServices;
class CInputView;
class CLoopbackView;
class CFormatsView;
class CSoakView;

class CMeasureWindow final : public QMainWindow {
public:
    explicit CMeasureWindow(CDeskServices& services, QWidget* parent = nullptr);
    ~CMeasureWindow() override;

    // Lists the devices of the current wave API on the session thread, after
    // `prepare` ran there (the program brings the wave API up in it), then
    // fills the lists and runs `listed` on the interface thread. Sessions
    // wait meanwhile. False while a session runs. F5 lists them again.
    bool ListDevices(std::function<void()> prepare = {}, std::function<void()> listed = {});
    bool Listing() const { return listing; }

    // Analyses `path` in the input view and watches it; false while a
    // session runs.
    bool OpenWaveFile(const QString& path);
    // What a drop on the window opens: the first local .wav file among the
    // dropped URLs. False when there is none or a session runs.
    bool OpenDropped(const QMimeData& data);
    // The WAVE file followed for changes; empty when none.
    QString FollowedFile() const { return followed; }

    CFormatPanel* FormatPanel() const { return format; }
    CInputView* InputView() const { return inputView; }
    CLoopbackView* LoopbackView() const { return loopbackView; }
    CFormatsView* FormatsView() const { return formatsView; }
    CSoakView* SoakView() const { return soakView; }
    QTabWidget* Views() const { return views; }
    CSessionRunner* Runner() const { return runner; }

    void SaveSettings() const;

    // Writes the report of what the views show to `path` (and its JSON
    // beside it, ReportSave.h) off the interface thread; false while a
    // session runs or when nothing is shown yet. The outcome goes to the
    // status bar and to LastReportMessage.
    bool SaveReport(const QString& path);
    QString LastReportMessage() const { return lastReportMessage; }
    bool ReportSaving() const { return reportSaving; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildMenus();
    void OnOpenFile();
    void OnSaveReport();
    void OnRunning(bool running);
    void OnFollowedFileChanged();
    void RestoreSettings();

    CDeskServices& services;
    CSessionRunner* runner;
    CFormatPanel* format;
    QTabWidget* views;
    CInputView* inputView;
    CLoopbackView* loopbackView;
    CFormatsView* formatsView;
    CSoakView* soakView;
    QAction* openAction = nullptr;
    QAction* refreshAction = nullptr;
    QAction* reportAction = nullptr;
    QString lastReportMessage;
    bool reportSaving = false;
    bool listing = false;
    QFileSystemWatcher watcher;
    QString followed;
    bool reanalysePending = false;
};

// The first local .wav file among dropped or given URLs; empty when none.
QString FirstWaveFile(const QList<QUrl>& urls);
