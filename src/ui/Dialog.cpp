// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Dialog.h"

namespace {

// Used when no front end has installed a toolkit: nothing can be shown.
class CNoToolkit : public CDialogToolkit {
public:
    int RunModal(CDialog&, CDialog*) override { return -1; }
};

CNoToolkit noToolkit;
CDialogToolkit* currentToolkit = &noToolkit;

} // namespace

CDialogToolkit& DialogToolkit()
{
    return *currentToolkit;
}

CDialogToolkit* SetDialogToolkit(CDialogToolkit* toolkit)
{
    CDialogToolkit* previous = currentToolkit;
    currentToolkit = toolkit ? toolkit : &noToolkit;
    return previous == &noToolkit ? nullptr : previous;
}

CDialog::CDialog(const DialogTemplate& dialogTemplate, CDialog* parent)
    : dialogTemplate(dialogTemplate), parent(parent)
{
}

CDialog::~CDialog() = default;

int CDialog::DoModal()
{
    return DialogToolkit().RunModal(*this, parent);
}

bool CDialog::OnInitDialog()
{
    DoDataExchange();
    return true;
}

void CDialog::OnCommand(int id)
{
    auto handler = messageMap.find(id);
    if (handler != messageMap.end()) {
        handler->second();
        return;
    }
    if (id == IdOk)
        OnOK();
    else if (id == IdCancel)
        OnCancel();
}

void CDialog::OnOK()
{
    EndDialog(IdOk);
}

void CDialog::OnCancel()
{
    EndDialog(IdCancel);
}

void CDialog::EndDialog(int result)
{
    if (window)
        window->EndDialog(result);
}

void CDialog::MapCommand(int id, std::function<void()> handler)
{
    messageMap[id] = std::move(handler);
}
