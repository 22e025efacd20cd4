// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/InputHold.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWindow>

namespace {

bool IsKey(QEvent::Type type)
{
    return type == QEvent::KeyPress || type == QEvent::KeyRelease;
}

bool IsOtherInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::Close:
        return true;
    default:
        return false;
    }
}

// The top-level widget an event's receiver belongs to.
QWidget* TopLevelOf(QObject* receiver)
{
    if (auto* widget = qobject_cast<QWidget*>(receiver))
        return widget->window();
    if (receiver->isWindowType()) {
        for (QWidget* topLevel : QApplication::topLevelWidgets())
            if (topLevel->windowHandle() == receiver)
                return topLevel;
    }
    return nullptr;
}

} // namespace

std::uint32_t VirtualKeyCode(int qtKey)
{
    if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z))
        return static_cast<std::uint32_t>(qtKey);
    switch (qtKey) {
    case Qt::Key_Escape: return 27;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return 9;
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Space: return 32;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Delete: return 46;
    default: return 0;
    }
}

CInputHold::CInputHold() = default;

CInputHold::~CInputHold()
{
    if (installed && qApp)
        qApp->removeEventFilter(this);
}

void CInputHold::Begin()
{
    if (!installed && qApp) {
        qApp->installEventFilter(this);
        installed = true;
    }
    ++depth;
}

void CInputHold::End()
{
    if (depth > 0)
        --depth;
}

std::optional<std::uint32_t> CInputHold::TakeKey(const QWidget* window)
{
    for (auto key = keys.begin(); key != keys.end(); ++key) {
        if (key->window == window) {
            std::uint32_t code = key->code;
            keys.erase(key);
            return code;
        }
    }
    return std::nullopt;
}

bool CInputHold::eventFilter(QObject* watched, QEvent* event)
{
    if (depth == 0)
        return false;
    QEvent::Type type = event->type();
    if (type == QEvent::ShortcutOverride) {
        // Claimed, so that no mnemonic or shortcut fires; the key press follows.
        event->accept();
        return true;
    }
    // Only what the user does is held back; the program's own events pass.
    if (!event->spontaneous())
        return false;
    if (IsKey(type)) {
        auto* key = static_cast<QKeyEvent*>(event);
        keys.push_back({TopLevelOf(watched), VirtualKeyCode(key->key())});
        return true;
    }
    if (IsOtherInput(type)) {
        event->ignore(); // a close box click must not close the window
        return true;
    }
    return false;
}
