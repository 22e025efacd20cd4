// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/win32/DialogTemplateBytes.h"

#include <limits>
#include <string_view>

#include "ui/Templates.h"

namespace {

class CTemplateWriter {
public:
    void Word(std::uint16_t value)
    {
        bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(value >> 8));
    }
    void DWord(std::uint32_t value)
    {
        Word(static_cast<std::uint16_t>(value & 0xFFFF));
        Word(static_cast<std::uint16_t>(value >> 16));
    }
    void Byte(std::uint8_t value) { bytes.push_back(value); }
    // A zero-terminated UTF-16 string; the templates' texts are ASCII.
    void Text(std::string_view text)
    {
        for (char c : text)
            Word(static_cast<unsigned char>(c));
        Word(0);
    }
    void Ordinal(std::uint16_t atom)
    {
        Word(0xFFFF);
        Word(atom);
    }
    void AlignToDWord()
    {
        while (bytes.size() % 4 != 0)
            bytes.push_back(0);
    }
    std::vector<std::uint8_t> bytes;
};

bool FitsShort(int value)
{
    return value >= std::numeric_limits<std::int16_t>::min() && value <= std::numeric_limits<std::int16_t>::max();
}

bool FitsLayout(const DialogTemplate& dialog)
{
    if (dialog.controls.size() > std::numeric_limits<std::uint16_t>::max())
        return false;
    if (!FitsShort(dialog.x) || !FitsShort(dialog.y) || !FitsShort(dialog.width) || !FitsShort(dialog.height))
        return false;
    for (const ControlTemplate& control : dialog.controls)
        if (!FitsShort(control.x) || !FitsShort(control.y) || !FitsShort(control.width) || !FitsShort(control.height))
            return false;
    return true;
}

void WriteRectangle(CTemplateWriter& out, int x, int y, int width, int height)
{
    out.Word(static_cast<std::uint16_t>(x));
    out.Word(static_cast<std::uint16_t>(y));
    out.Word(static_cast<std::uint16_t>(width));
    out.Word(static_cast<std::uint16_t>(height));
}

void WriteClass(CTemplateWriter& out, ControlClass controlClass)
{
    switch (controlClass) {
    case ControlClass::Button: out.Ordinal(ControlClassAtom::Button); return;
    case ControlClass::Edit: out.Ordinal(ControlClassAtom::Edit); return;
    case ControlClass::Static: out.Ordinal(ControlClassAtom::Static); return;
    case ControlClass::ComboBox: out.Ordinal(ControlClassAtom::ComboBox); return;
    case ControlClass::ProgressBar: out.Text(ProgressBarClassName); return;
    }
}

void WriteHeader(CTemplateWriter& out, const DialogTemplate& dialog, TemplateLayout layout)
{
    bool extended = layout == TemplateLayout::Extended;
    if (extended) {
        out.Word(1);      // dlgVer
        out.Word(0xFFFF); // signature
        out.DWord(0);     // help id
        out.DWord(dialog.exStyle);
        out.DWord(dialog.style);
    } else {
        out.DWord(dialog.style);
        out.DWord(dialog.exStyle);
    }
    out.Word(static_cast<std::uint16_t>(dialog.controls.size()));
    WriteRectangle(out, dialog.x, dialog.y, dialog.width, dialog.height);
    out.Word(0); // no menu
    out.Word(0); // the platform's dialog class
    out.Text(dialog.title);
    if ((dialog.style & WindowStyle::SetFont) == 0)
        return;
    out.Word(static_cast<std::uint16_t>(dialog.fontPoints));
    if (extended) {
        out.Word(TemplateFontWeight);
        out.Byte(0); // not italic
        out.Byte(TemplateFontCharset);
    }
    out.Text(dialog.fontName);
}

void WriteControl(CTemplateWriter& out, const ControlTemplate& control, TemplateLayout layout)
{
    out.AlignToDWord();
    if (layout == TemplateLayout::Extended) {
        out.DWord(0); // help id
        out.DWord(0); // extended style
        out.DWord(control.style);
    } else {
        out.DWord(control.style);
        out.DWord(0); // extended style
    }
    WriteRectangle(out, control.x, control.y, control.width, control.height);
    // The id -1 is written in the field's full width (0xFFFF or 0xFFFFFFFF).
    if (layout == TemplateLayout::Extended)
        out.DWord(static_cast<std::uint32_t>(control.id));
    else
        out.Word(static_cast<std::uint16_t>(control.id));
    WriteClass(out, control.controlClass);
    out.Text(control.text);
    out.Word(0); // no creation data
}

} // namespace

TemplateLayout LayoutOf(const DialogTemplate& dialogTemplate)
{
    return dialogTemplate.id == MainDialogTemplateId ? TemplateLayout::Extended : TemplateLayout::Classic;
}

std::vector<std::uint8_t> BuildTemplateBytes(const DialogTemplate& dialogTemplate, TemplateLayout layout)
{
    if (!FitsLayout(dialogTemplate))
        return {};
    CTemplateWriter out;
    WriteHeader(out, dialogTemplate, layout);
    for (const ControlTemplate& control : dialogTemplate.controls)
        WriteControl(out, control, layout);
    return std::move(out.bytes);
}
