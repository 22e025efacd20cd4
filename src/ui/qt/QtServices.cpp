// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/QtServices.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QTimer>

#include <chrono>
#include <thread>

namespace {

QWidget* AsWidget(WindowHandle handle)
{
    return static_cast<QWidget*>(handle);
}

// "*.wav", ".wav" and "wav" all name the suffix "wav".
QString SuffixOf(const std::string& extension)
{
    QString suffix = QString::fromStdString(extension);
    while (suffix.startsWith(QLatin1Char('*')) || suffix.startsWith(QLatin1Char('.')))
        suffix.remove(0, 1);
    return suffix;
}

} // namespace

CQtServices::CQtServices() = default;

CQtServices::~CQtServices()
{
    if (cursor == CursorShape::Wait && qApp)
        QApplication::restoreOverrideCursor();
}

void CQtServices::DiscardHeldKeys()
{
    if (auto* services = dynamic_cast<CQtServices*>(&Services()))
        services->hold.Discard();
}

void CQtServices::ShowMessage(const std::string& text, MessageIcon icon)
{
    if (!qApp)
        return;
    DiscardHeldKeys();
    QMessageBox box(icon == MessageIcon::Error ? QMessageBox::Critical : QMessageBox::NoIcon, QString(),
                    QString::fromStdString(text), QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

bool CQtServices::AskYesNo(WindowHandle owner, const std::string& text, const std::string& title)
{
    if (!qApp)
        return false;
    DiscardHeldKeys();
    QMessageBox box(QMessageBox::Question, QString::fromStdString(title), QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No, AsWidget(owner));
    box.setDefaultButton(QMessageBox::Yes);
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec() == QMessageBox::Yes;
}

CursorShape CQtServices::SetCursor(CursorShape shape)
{
    CursorShape previous = cursor;
    if (shape != cursor && qApp) {
        if (shape == CursorShape::Wait)
            QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        else
            QApplication::restoreOverrideCursor();
    }
    cursor = shape;
    return previous;
}

void CQtServices::Sleep(std::uint32_t milliseconds)
{
    QDeadlineTimer deadline(std::chrono::milliseconds(milliseconds), Qt::PreciseTimer);
    if (qApp) {
        // The windows keep painting the status and progress shown meanwhile.
        hold.Begin();
        QEventLoop loop;
        QTimer::singleShot(std::chrono::milliseconds(milliseconds), Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
        hold.End();
    }
    // A loop that cannot run (the application is quitting) still waits.
    if (!deadline.hasExpired())
        std::this_thread::sleep_for(std::chrono::milliseconds(deadline.remainingTime()));
}

std::uint32_t CQtServices::TickCount()
{
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

std::optional<std::uint32_t> CQtServices::PeekKey(WindowHandle window)
{
    if (!qApp || !window)
        return std::nullopt;
    // Keys typed since the last sleep join the queue first.
    hold.Begin();
    QCoreApplication::processEvents();
    hold.End();
    return hold.TakeKey(AsWidget(window));
}

bool CQtServices::SetClipboardText(WindowHandle, const std::string& text)
{
    QClipboard* clipboard = qApp ? QGuiApplication::clipboard() : nullptr;
    if (!clipboard)
        return false;
    // Plain text only; the line ends go out as they are (CR LF).
    auto* data = new QMimeData;
    data->setText(QString::fromStdString(text));
    clipboard->setMimeData(data, QClipboard::Clipboard);
    return true;
}

std::optional<std::string> CQtServices::AskSaveFileName(WindowHandle owner, const std::string& defaultExtension,
                                                       const std::string& filter)
{
    if (!qApp)
        return std::nullopt;
    DiscardHeldKeys();
    QFileDialog dialog(AsWidget(owner), QStringLiteral("Save As"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QString::fromStdString(filter));
    dialog.setDefaultSuffix(SuffixOf(defaultExtension));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.selectFile(QString());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty())
        return std::nullopt;
    return QFile::encodeName(chosen.first()).toStdString();
}
