// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/QtDialogWindow.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

#include "ui/Templates.h"
#include "ui/qt/AccessibleNames.h"
#include "ui/qt/AppIcon.h"
#include "ui/qt/ReportEdit.h"

namespace {

QString FromText(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToText(const QString& text)
{
    return text.toStdString();
}

bool IsEnter(const QKeyEvent* event)
{
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

// The keys the dialog itself answers wherever the focus is: Enter and Esc
// without a modifier (Enter may come from the keypad).
bool IsDialogKey(const QKeyEvent* event)
{
    Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    return modifiers == Qt::NoModifier && (IsEnter(event) || event->key() == Qt::Key_Escape);
}

} // namespace

// Routes Enter and Esc from every control to the dialog, as the dialog
// manager does: controls such as editable combo boxes would keep them.
class CDialogKeyFilter : public QObject {
public:
    explicit CDialogKeyFilter(CQtDialogWindow& window) : QObject(&window), window(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (!IsDialogKey(key))
            return false;
        window.HandleDialogKey(key, qobject_cast<QWidget*>(watched));
        return true;
    }

private:
    CQtDialogWindow& window;
};

CQtDialogWindow::CQtDialogWindow(CDialog& dialog, QWidget* owner, const QFont& font)
    : QDialog(owner), dialog(dialog), owner(owner), units(font)
{
    const DialogTemplate& dialogTemplate = dialog.Template();
    setFont(font);
    setWindowTitle(FromText(dialogTemplate.title));

    // A fixed frame with a title, a close box and no minimise or maximise box;
    // a window of its own (a taskbar entry) where the template asks for one.
    Qt::WindowFlags flags = dialogTemplate.HasTaskbarEntry() ? Qt::Window : Qt::Dialog;
    flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (dialogTemplate.style & WindowStyle::SysMenu)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    setWindowFlags(flags);
    setSizeGripEnabled(false);
    setFixedSize(units.ToPixelsX(dialogTemplate.width), units.ToPixelsY(dialogTemplate.height));

    keyFilter = new CDialogKeyFilter(*this);
    QWidget* previousTabStop = nullptr;
    for (const ControlTemplate& controlTemplate : dialogTemplate.controls) {
        QWidget* control = CreateControl(controlTemplate);
        controls.push_back(control);
        if (controlTemplate.id != IdUnaddressed)
            controlsById.emplace(controlTemplate.id, control);
        control->setVisible(controlTemplate.HasStyle(WindowStyle::Visible));
        if (controlTemplate.IsTabStop()) {
            if (previousTabStop)
                QWidget::setTabOrder(previousTabStop, control);
            previousTabStop = control;
        }
    }
    NameForScreenReaders();
}

void CQtDialogWindow::NameForScreenReaders()
{
    std::vector<AccessibleNaming> namings = NameControls(dialog.Template());
    for (std::size_t i = 0; i < namings.size(); ++i) {
        const AccessibleNaming& naming = namings[i];
        if (!naming.named)
            continue;
        QWidget* control = controls[i];
        QString name = windowTitle();
        auto* label = naming.label ? qobject_cast<QLabel*>(controls[*naming.label]) : nullptr;
        auto* group = naming.group ? qobject_cast<QGroupBox*>(controls[*naming.group]) : nullptr;
        if (label) {
            label->setBuddy(control);
            name = NameFromLabel(label->text());
        } else if (group) {
            name = group->title();
        }
        control->setAccessibleName(name);
        // An editable box's field is what has the focus and is read out.
        if (auto* combo = qobject_cast<QComboBox*>(control); combo && combo->lineEdit())
            combo->lineEdit()->setAccessibleName(name);
        auto* text = naming.description ? qobject_cast<QLabel*>(controls[*naming.description]) : nullptr;
        if (text) {
            control->setAccessibleDescription(text->text());
            describedBy.emplace(text, control);
        }
    }
}

QWidget* CQtDialogWindow::CreateControl(const ControlTemplate& controlTemplate)
{
    QRect rect = units.ToPixels(controlTemplate.x, controlTemplate.y, controlTemplate.width, controlTemplate.height);
    QString text = FromText(controlTemplate.text);
    bool tabStop = controlTemplate.IsTabStop();
    QWidget* control = nullptr;

    switch (controlTemplate.controlClass) {
    case ControlClass::Edit:
        if (controlTemplate.style & ControlStyle::EditMultiline) {
            auto* edit = new CReportEdit(this);
            edit->setFrameShape(controlTemplate.style & WindowStyle::Border ? QFrame::StyledPanel : QFrame::NoFrame);
            edit->setReadOnly(controlTemplate.style & ControlStyle::EditReadOnly);
            edit->SetText(text);
            control = edit;
        } else {
            auto* edit = new QLineEdit(text, this);
            edit->setFrame(controlTemplate.style & WindowStyle::Border);
            edit->setReadOnly(controlTemplate.style & ControlStyle::EditReadOnly);
            control = edit;
        }
        control->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
        control->installEventFilter(keyFilter);
        break;

    case ControlClass::ComboBox: {
        auto* combo = new QComboBox(this);
        // A drop-down box (not a drop-down list) has a field the user types in.
        bool editable = (controlTemplate.style & 0x3) == ControlStyle::ComboDropDown;
        combo->setEditable(editable);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setDuplicatesEnabled(true);
        combo->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
        combo->installEventFilter(keyFilter);
        if (QLineEdit* field = combo->lineEdit()) {
            // No completion from the items: the field keeps what is typed.
            combo->setCompleter(nullptr);
            field->installEventFilter(keyFilter);
            // Typing into the closed box leaves no item selected; the text stays.
            connect(field, &QLineEdit::textEdited, combo, [combo, field](const QString& typed) {
                if (combo->view()->isVisible() || combo->currentIndex() < 0)
                    return;
                int cursor = field->cursorPosition();
                QSignalBlocker blocker(field);
                combo->setCurrentIndex(-1);
                field->setText(typed);
                field->setCursorPosition(cursor);
            });
        }
        // The template's height includes the dropped-down list. The field is
        // as high as the classic one (13 units) so that it lines up with its
        // label, but never lower than the font needs.
        int fieldHeight = std::max(units.ToPixelsY(13), QFontMetrics(combo->font()).height() + 6);
        int itemHeight = std::max(1, QFontMetrics(combo->font()).height() + 2);
        combo->setMaxVisibleItems(std::max(1, (rect.height() - fieldHeight) / itemHeight));
        rect.setHeight(fieldHeight);
        control = combo;
        break;
    }

    case ControlClass::Button:
        if (controlTemplate.IsGroupBox()) {
            auto* group = new QGroupBox(text, this);
            group->setFocusPolicy(Qt::NoFocus);
            // It only frames its neighbours: clicks go to the controls inside.
            group->setAttribute(Qt::WA_TransparentForMouseEvents);
            control = group;
        } else {
            auto* button = new QPushButton(text, this);
            button->setAutoDefault(false);
            button->setDefault((controlTemplate.style & ControlStyle::ButtonTypeMask) == ControlStyle::ButtonDefPush);
            button->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
            button->installEventFilter(keyFilter);
            int id = controlTemplate.id;
            connect(button, &QPushButton::clicked, this, [this, id] { dialog.OnCommand(id); });
            control = button;
        }
        break;

    case ControlClass::Static: {
        auto* label = new QLabel(text, this);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(false);
        label->setFocusPolicy(Qt::NoFocus);
        // A font wider than the one the template was drawn with must not cut
        // the text: the label grows to the right, where its field lies apart.
        rect.setWidth(std::max(rect.width(), label->sizeHint().width()));
        control = label;
        break;
    }

    case ControlClass::ProgressBar: {
        auto* bar = new QProgressBar(this);
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
        bar->setFocusPolicy(Qt::NoFocus);
        control = bar;
        break;
    }
    }

    control->setGeometry(rect);
    if (controlTemplate.IsGroupBox())
        control->lower();
    return control;
}

QWidget* CQtDialogWindow::Control(int id) const
{
    auto found = controlsById.find(id);
    return found == controlsById.end() ? nullptr : found->second;
}

std::string CQtDialogWindow::GetControlText(int id)
{
    QWidget* control = Control(id);
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        return ToText(edit->text());
    if (auto* combo = qobject_cast<QComboBox*>(control))
        return ToText(combo->currentText());
    if (auto* report = dynamic_cast<CReportEdit*>(control))
        return ToText(report->Text());
    if (auto* button = qobject_cast<QPushButton*>(control))
        return ToText(button->text());
    if (auto* group = qobject_cast<QGroupBox*>(control))
        return ToText(group->title());
    if (auto* label = qobject_cast<QLabel*>(control))
        return ToText(label->text());
    return {};
}

void CQtDialogWindow::SetControlText(int id, const std::string& text)
{
    QWidget* control = Control(id);
    QString value = QString::fromStdString(text);
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        edit->setText(value);
    else if (auto* combo = qobject_cast<QComboBox*>(control))
        combo->setEditText(value);
    else if (auto* report = dynamic_cast<CReportEdit*>(control))
        report->SetText(value);
    else if (auto* button = qobject_cast<QPushButton*>(control))
        button->setText(value);
    else if (auto* group = qobject_cast<QGroupBox*>(control))
        group->setTitle(value);
    else if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(value);
        // What the text describes reads the new text, as the status changes.
        auto [first, last] = describedBy.equal_range(label);
        for (auto described = first; described != last; ++described) {
            described->second->setAccessibleDescription(value);
            // Readers are told, not left to ask again.
            if (QAccessible::isActive()) {
                QAccessibleEvent changed(described->second, QAccessible::DescriptionChanged);
                QAccessible::updateAccessibility(&changed);
            }
        }
    }
}

void CQtDialogWindow::EnableControl(int id, bool enabled)
{
    QWidget* control = Control(id);
    if (!control)
        return;
    if (!enabled) {
        // Qt moves the focus off a control it disables (the next tab stop
        // would be "&Close", and Enter would end the program); the dialog
        // manager gives it back when the control is enabled again.
        QWidget* focus = focusWidget();
        if (control->isEnabled() && focus && (focus == control || control->isAncestorOf(focus)))
            focusTakenByDisable[id] = focus;
        control->setEnabled(false);
        return;
    }
    control->setEnabled(true);
    auto taken = focusTakenByDisable.find(id);
    if (taken == focusTakenByDisable.end())
        return;
    QPointer<QWidget> focus = taken->second;
    focusTakenByDisable.erase(taken);
    if (focus && focus->isEnabled() && focus->isVisibleTo(this))
        focus->setFocus(Qt::OtherFocusReason);
}

bool CQtDialogWindow::IsControlEnabled(int id)
{
    QWidget* control = Control(id);
    return control && control->isEnabled();
}

void CQtDialogWindow::SetFocus(int id)
{
    if (QWidget* control = Control(id))
        control->setFocus(Qt::OtherFocusReason);
}

int CQtDialogWindow::ComboAddString(int id, const std::string& text)
{
    auto* combo = qobject_cast<QComboBox*>(Control(id));
    if (!combo)
        return -1;
    QString item = QString::fromStdString(text);
    int index = combo->count();
    const ControlTemplate* controlTemplate = dialog.Template().FindControl(id);
    if (controlTemplate && (controlTemplate->style & ControlStyle::ComboSort)) {
        index = 0;
        while (index < combo->count() && combo->itemText(index).compare(item, Qt::CaseInsensitive) <= 0)
            ++index;
    }
    int selected = combo->currentIndex();
    QString field = combo->currentText();
    combo->insertItem(index, item);
    // Adding an item selects nothing (Qt selects the first one added) and
    // leaves the field as it was.
    if (selected < 0 && combo->currentIndex() >= 0)
        combo->setCurrentIndex(-1);
    if (combo->isEditable() && combo->currentText() != field)
        combo->setEditText(field);
    return index;
}

int CQtDialogWindow::ComboSetCurSel(int id, int index)
{
    auto* combo = qobject_cast<QComboBox*>(Control(id));
    if (!combo)
        return -1;
    if (index < 0 || index >= combo->count()) {
        combo->setCurrentIndex(-1);
        if (combo->isEditable())
            combo->setEditText(QString());
        return -1;
    }
    combo->setCurrentIndex(index);
    return index;
}

int CQtDialogWindow::ComboGetCurSel(int id)
{
    auto* combo = qobject_cast<QComboBox*>(Control(id));
    return combo ? combo->currentIndex() : -1;
}

int CQtDialogWindow::ComboGetCount(int id)
{
    auto* combo = qobject_cast<QComboBox*>(Control(id));
    return combo ? combo->count() : 0;
}

void CQtDialogWindow::SetProgressPos(int id, int position)
{
    // The bar shows a position past its range as the range's end, as the
    // sequence may send more than 100 when a device is slow.
    if (auto* bar = qobject_cast<QProgressBar*>(Control(id)))
        bar->setValue(std::clamp(position, bar->minimum(), bar->maximum()));
}

void CQtDialogWindow::SetEditTabStops(int id, std::span<const int> stops)
{
    auto* report = dynamic_cast<CReportEdit*>(Control(id));
    if (!report)
        return;
    std::vector<int> pixels;
    for (int stop : stops)
        pixels.push_back(units.ToPixelsX(stop));
    report->SetTabStops(std::move(pixels));
}

void CQtDialogWindow::SetEditMargins(int id, int leftPixels, int rightPixels)
{
    if (auto* report = dynamic_cast<CReportEdit*>(Control(id)))
        report->SetMargins(leftPixels, rightPixels);
}

void CQtDialogWindow::SetIcon(int iconId, bool)
{
    // One icon carries both images; the window system picks the size it shows.
    setWindowIcon(iconId == AppIconId ? AppIcon() : QIcon());
}

void CQtDialogWindow::EndDialog(int result)
{
    done(result);
}

void CQtDialogWindow::FocusFirstTabStop()
{
    const auto& templates = dialog.Template().controls;
    for (std::size_t i = 0; i < templates.size(); ++i) {
        QWidget* control = controls[i];
        if (templates[i].IsTabStop() && control->isEnabled() && !control->isHidden()) {
            control->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

void CQtDialogWindow::PlaceCentred()
{
    QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect area = screen->availableGeometry();
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(owner ? owner->frameGeometry().center() : area.center());
    // Kept inside the work area, the top-left corner winning on a small screen.
    frame.moveRight(std::min(frame.right(), area.right()));
    frame.moveBottom(std::min(frame.bottom(), area.bottom()));
    frame.moveLeft(std::max(frame.left(), area.left()));
    frame.moveTop(std::max(frame.top(), area.top()));
    move(frame.topLeft());
}

void CQtDialogWindow::HandleDialogKey(QKeyEvent* event, QWidget* source)
{
    if (event->key() == Qt::Key_Escape) {
        dialog.OnCommand(IdCancel);
        return;
    }
    // Enter on a push button presses it; anywhere else it is OK.
    if (auto* button = qobject_cast<QPushButton*>(source ? source : focusWidget())) {
        if (button->isEnabled())
            button->click();
        return;
    }
    dialog.OnCommand(IdOk);
}

void CQtDialogWindow::keyPressEvent(QKeyEvent* event)
{
    if (IsDialogKey(event)) {
        HandleDialogKey(event, nullptr);
        return;
    }
    QDialog::keyPressEvent(event);
}

void CQtDialogWindow::closeEvent(QCloseEvent* event)
{
    // The close box is a command; the dialog decides whether it ends.
    if (isHidden()) {
        event->accept();
        return;
    }
    event->ignore();
    dialog.OnCommand(IdCancel);
}

void CQtDialogWindow::accept()
{
    dialog.OnCommand(IdOk);
}

void CQtDialogWindow::reject()
{
    dialog.OnCommand(IdCancel);
}
