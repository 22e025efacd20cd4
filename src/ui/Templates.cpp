// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Templates.h"

#include <array>

namespace {

using namespace WindowStyle;
using namespace ControlStyle;

constexpr std::uint32_t EditStyle = Child | Visible | Border | TabStop | EditAutoHScroll;      // 0x50810080
constexpr std::uint32_t ComboStyle = Child | Visible | VScroll | TabStop | ComboDropDown;      // 0x50210002
constexpr std::uint32_t PushStyle = Child | Visible | TabStop | ButtonPush;                    // 0x50010000
constexpr std::uint32_t GroupBoxStyle = Child | Visible | ButtonGroupBox;                      // 0x50000007
constexpr std::uint32_t LabelStyle = Child | Visible | Group;                                  // 0x50020000
constexpr std::uint32_t ProgressStyle = Child | Visible | Border;                              // 0x50800000
constexpr std::uint32_t ReportStyle = Child | Visible | Border | TabStop | EditMultiline | EditAutoHScroll; // 0x50810084

using enum ControlClass;

// Template order is tab order. Combo heights include the dropped-down list.
constexpr std::array<ControlTemplate, 22> mainControls{{
    {IdChannels, Edit, "", EditStyle, 120, 23, 60, 12},
    {IdSampleRate, Edit, "", EditStyle, 119, 40, 60, 12},
    {IdPrecision, Edit, "", EditStyle, 119, 59, 60, 12},
    {IdValidBits, Edit, "", EditStyle, 119, 77, 60, 12},
    {IdInputDevice, ComboBox, "", ComboStyle, 87, 96, 165, 62},
    {IdOutputDevice, ComboBox, "", ComboStyle, 87, 115, 165, 62},
    {IdApiMode, ComboBox, "", ComboStyle, 87, 134, 165, 62},
    {IdDuration, Edit, "", EditStyle, 146, 154, 60, 12},
    {IdRunTest, Button, "&Run Test...", PushStyle, 199, 190, 58, 14},
    {IdCancel, Button, "&Close", PushStyle, 199, 241, 56, 14},
    {IdUnaddressed, Button, "Test Parameters", GroupBoxStyle, 7, 7, 258, 168},
    {IdUnaddressed, Static, "Number of Channels", LabelStyle, 19, 24, 76, 11},
    {IdUnaddressed, Static, "Sampling Rate (Hz)", LabelStyle, 19, 41, 70, 11},
    {IdUnaddressed, Static, "Sampling Precision (bits)", LabelStyle, 19, 60, 86, 11},
    {IdUnaddressed, Static, "Valid Precision (bits)", LabelStyle, 19, 78, 86, 11},
    {IdUnaddressed, Static, "Input Device", LabelStyle, 19, 97, 56, 11},
    {IdUnaddressed, Static, "Output Device", LabelStyle, 19, 116, 56, 11},
    {IdUnaddressed, Static, "Test Recording Duration (seconds)", LabelStyle, 20, 155, 118, 11},
    {IdProgress, ProgressBar, "", ProgressStyle, 19, 211, 237, 13},
    {IdUnaddressed, Button, "Test Control", GroupBoxStyle, 7, 179, 258, 54},
    {IdStatus, Static, "Test status", LabelStyle, 19, 194, 165, 11},
    {IdUnaddressed, Static, "API Mode", LabelStyle, 19, 136, 63, 11},
}};

constexpr std::array<ControlTemplate, 4> resultsControls{{
    {IdSaveRecording, Button, "&Save Recording to Wave file...", PushStyle, 7, 152, 120, 14},
    {IdCopyResults, Button, "&Copy Results to Clipboard", PushStyle, 147, 152, 104, 14},
    {IdCancel, Button, "Close", PushStyle, 268, 152, 50, 14},
    {IdReportEdit, Edit, "", ReportStyle, 7, 7, 311, 138},
}};

constexpr DialogTemplate mainDialog{
    MainDialogTemplateId, "Brellick - Tallowmere",
    Popup | Visible | Caption | SysMenu | ModalFrame | SetFont, // 0x90C800C0
    ExAppWindow, 0, 0, 272, 262, "MS Sans Serif", 8, mainControls};

constexpr DialogTemplate resultsDialog{
    ResultsDialogTemplateId, "Test Results",
    Popup | Caption | SysMenu | ModalFrame | SetFont, // 0x80C800C0
    0, 0, 0, 325, 173, "MS Sans Serif", 8, resultsControls};

static_assert(EditStyle == 0x50810080 && ComboStyle == 0x50210002 && PushStyle == 0x50010000);
static_assert(GroupBoxStyle == 0x50000007 && LabelStyle == 0x50020000 && ProgressStyle == 0x50800000);
static_assert(ReportStyle == 0x50810084);
static_assert((Popup | Visible | Caption | SysMenu | ModalFrame | SetFont) == 0x90C800C0);

} // namespace

const DialogTemplate& MainDialogTemplate()
{
    return mainDialog;
}

const DialogTemplate& ResultsDialogTemplate()
{
    return resultsDialog;
}
