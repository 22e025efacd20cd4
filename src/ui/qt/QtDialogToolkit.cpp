// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/QtDialogToolkit.h"

#include <QApplication>
#include <QWidget>

#include "ui/Dialog.h"
#include "ui/qt/QtDialogWindow.h"
#include "ui/qt/QtServices.h"

int CQtDialogToolkit::RunModal(CDialog& dialog, CDialog* parent)
{
    if (!qApp)
        return -1;
    QWidget* owner = parent ? static_cast<QWidget*>(parent->Handle()) : nullptr;
    CQtDialogWindow window(dialog, owner, DialogFont(dialog.Template()));
    window.setWindowModality(Qt::ApplicationModal);

    dialog.Attach(&window);
    if (dialog.OnInitDialog())
        window.FocusFirstTabStop();
    CQtServices::DiscardHeldKeys();
    window.PlaceCentred();
    int result = window.exec();
    dialog.Attach(nullptr);
    return result;
}
