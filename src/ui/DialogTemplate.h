// SPDX-License-Identifier: GPL-3.0-or-later
// Dialog templates as data: the window's title, style, size and font, and
// each control's id, class, text, style, position and size in dialog units,
// in template order (which is also the tab order). A toolkit builds real
// windows from these; nothing here depends on one.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

enum class ControlClass { Edit, ComboBox, Button, Static, ProgressBar };

// Window and control style bits, with the values the templates were drawn with.
namespace WindowStyle {
constexpr std::uint32_t Popup = 0x80000000;
constexpr std::uint32_t Child = 0x40000000;
constexpr std::uint32_t Visible = 0x10000000;
constexpr std::uint32_t Caption = 0x00C00000;
constexpr std::uint32_t Border = 0x00800000;
constexpr std::uint32_t VScroll = 0x00200000;
constexpr std::uint32_t SysMenu = 0x00080000;
constexpr std::uint32_t Group = 0x00020000;
constexpr std::uint32_t TabStop = 0x00010000;
constexpr std::uint32_t MinimizeBox = 0x00020000; // on top-level windows only
constexpr std::uint32_t MaximizeBox = 0x00010000; // on top-level windows only
constexpr std::uint32_t ModalFrame = 0x00000080;
constexpr std::uint32_t SetFont = 0x00000040;
constexpr std::uint32_t ExAppWindow = 0x00040000; // extended style: a taskbar entry
} // namespace WindowStyle

namespace ControlStyle {
constexpr std::uint32_t EditMultiline = 0x0004;
constexpr std::uint32_t EditAutoHScroll = 0x0080;
constexpr std::uint32_t EditWantReturn = 0x1000;
constexpr std::uint32_t EditReadOnly = 0x0800;
constexpr std::uint32_t ComboDropDown = 0x0002;
constexpr std::uint32_t ComboSort = 0x0100;
constexpr std::uint32_t ButtonTypeMask = 0x000F;
constexpr std::uint32_t ButtonPush = 0x0000;
constexpr std::uint32_t ButtonDefPush = 0x0001;
constexpr std::uint32_t ButtonGroupBox = 0x0007;
} // namespace ControlStyle

// Command ids every dialog knows.
constexpr int IdOk = 1;
constexpr int IdCancel = 2;
// Shared by the controls that are never addressed.
constexpr int IdUnaddressed = -1;

struct ControlTemplate {
    int id;
    ControlClass controlClass;
    std::string_view text;
    std::uint32_t style;
    int x;
    int y;
    int width;
    int height;

    bool HasStyle(std::uint32_t bits) const { return (style & bits) == bits; }
    bool IsTabStop() const { return HasStyle(WindowStyle::TabStop); }
    bool IsGroupBox() const
    {
        return controlClass == ControlClass::Button &&
               (style & ControlStyle::ButtonTypeMask) == ControlStyle::ButtonGroupBox;
    }
    bool IsPushButton() const
    {
        auto type = style & ControlStyle::ButtonTypeMask;
        return controlClass == ControlClass::Button &&
               (type == ControlStyle::ButtonPush || type == ControlStyle::ButtonDefPush);
    }
};

struct DialogTemplate {
    int id;
    std::string_view title;
    std::uint32_t style;
    std::uint32_t exStyle;
    int x;
    int y;
    int width;
    int height;
    std::string_view fontName;
    int fontPoints;
    std::span<const ControlTemplate> controls;

    bool HasTaskbarEntry() const { return (exStyle & WindowStyle::ExAppWindow) != 0; }
    const ControlTemplate* FindControl(int controlId) const
    {
        for (const ControlTemplate& control : controls)
            if (control.id == controlId)
                return &control;
        return nullptr;
    }
};
