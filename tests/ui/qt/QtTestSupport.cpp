// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtTestSupport.h"

#include <QTest>
#include <QTimer>

#include "ui/qt/QtDialogToolkit.h"

QApplication& TestApplication()
{
    static int argc = 1;
    static char name[] = "test_ui_qt";
    static char* argv[] = {name, nullptr};
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: other statics may still use Qt while the process ends.
    static QApplication* application = new QApplication(argc, argv);
    return *application;
}

CProbeDialog::CProbeDialog(const DialogTemplate& dialogTemplate, CDialog* parent) : CDialog(dialogTemplate, parent)
{
}

void CProbeDialog::EndOn(int id)
{
    MapCommand(id, [this, id] {
        commands.push_back(id);
        EndDialog(id);
    });
}

bool CProbeDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    return focusFirst;
}

int RunWithStep(CDialog& dialog, std::function<void(CQtDialogWindow&)> step)
{
    TestApplication();
    CQtDialogToolkit toolkit;
    CScopedDialogToolkit scope(toolkit);
    QTimer::singleShot(0, [&dialog, step] {
        if (auto* window = dynamic_cast<CQtDialogWindow*>(dialog.Window())) {
            // Shortcuts and the focus need the window to be the active one.
            if (QTest::qWaitForWindowActive(window))
                step(*window);
        }
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&dialog] {
        if (dialog.Window())
            dialog.Window()->EndDialog(-2);
    });
    watchdog.start(10000);
    return dialog.DoModal();
}
