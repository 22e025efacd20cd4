// SPDX-License-Identifier: GPL-3.0-or-later
// The in-memory templates, read back field by field as the platform's
// dialog manager reads them: header, font, and every control on its 4-byte
// boundary with its class ordinal or name.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <variant>
#include <vector>

#include "ui/Templates.h"
#include "ui/win32/DialogTemplateBytes.h"

namespace {

class CReader {
public:
    explicit CReader(const std::vector<std::uint8_t>& bytes) : bytes(bytes) {}
    std::uint16_t Word()
    {
        if (offset + 2 > bytes.size()) {
            overrun = true;
            return 0;
        }
        std::uint16_t value = static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
        offset += 2;
        return value;
    }
    std::uint32_t DWord()
    {
        std::uint32_t low = Word();
        return low | (static_cast<std::uint32_t>(Word()) << 16);
    }
    std::uint8_t Byte()
    {
        if (offset >= bytes.size()) {
            overrun = true;
            return 0;
        }
        return bytes[offset++];
    }
    std::string Text()
    {
        std::string text;
        for (std::uint16_t c = Word(); c != 0 && !overrun; c = Word())
            text.push_back(c < 0x80 ? static_cast<char>(c) : '?');
        return text;
    }
    // A class or title field: an ordinal (0xFFFF, atom) or a string.
    std::variant<std::uint16_t, std::string> NameOrOrdinal()
    {
        if (offset + 2 <= bytes.size() && bytes[offset] == 0xFF && bytes[offset + 1] == 0xFF) {
            Word();
            return Word();
        }
        return Text();
    }
    void Align()
    {
        offset = (offset + 3) & ~std::size_t{3};
    }

    const std::vector<std::uint8_t>& bytes;
    std::size_t offset = 0;
    bool overrun = false;
};

struct ReadControl {
    std::size_t offset;
    std::uint32_t style;
    std::uint32_t exStyle;
    int x, y, width, height;
    std::int32_t id;
    std::variant<std::uint16_t, std::string> windowClass;
    std::string text;
};

std::variant<std::uint16_t, std::string> ExpectedClass(ControlClass controlClass)
{
    switch (controlClass) {
    case ControlClass::Button: return std::uint16_t{0x0080};
    case ControlClass::Edit: return std::uint16_t{0x0081};
    case ControlClass::Static: return std::uint16_t{0x0082};
    case ControlClass::ComboBox: return std::uint16_t{0x0085};
    case ControlClass::ProgressBar: return std::string("msctls_progress32");
    }
    return std::uint16_t{0};
}

ReadControl ReadItem(CReader& in, bool extended)
{
    in.Align();
    ReadControl control{};
    control.offset = in.offset;
    if (extended) {
        EXPECT_EQ(in.DWord(), 0u) << "help id";
        control.exStyle = in.DWord();
        control.style = in.DWord();
    } else {
        control.style = in.DWord();
        control.exStyle = in.DWord();
    }
    control.x = static_cast<std::int16_t>(in.Word());
    control.y = static_cast<std::int16_t>(in.Word());
    control.width = static_cast<std::int16_t>(in.Word());
    control.height = static_cast<std::int16_t>(in.Word());
    control.id = extended ? static_cast<std::int32_t>(in.DWord()) : static_cast<std::int16_t>(in.Word());
    control.windowClass = in.NameOrOrdinal();
    control.text = in.Text();
    EXPECT_EQ(in.Word(), 0u) << "creation data";
    return control;
}

void ExpectControlsAsTemplate(CReader& in, const DialogTemplate& dialog, bool extended)
{
    for (const ControlTemplate& expected : dialog.controls) {
        SCOPED_TRACE(std::string(expected.text) + " #" + std::to_string(expected.id));
        ReadControl control = ReadItem(in, extended);
        EXPECT_EQ(control.offset % 4, 0u);
        EXPECT_EQ(control.style, expected.style);
        EXPECT_EQ(control.exStyle, 0u);
        EXPECT_EQ(control.x, expected.x);
        EXPECT_EQ(control.y, expected.y);
        EXPECT_EQ(control.width, expected.width);
        EXPECT_EQ(control.height, expected.height);
        EXPECT_EQ(control.id, expected.id);
        EXPECT_EQ(control.windowClass, ExpectedClass(expected.controlClass));
        EXPECT_EQ(control.text, expected.text);
    }
    EXPECT_FALSE(in.overrun);
    EXPECT_EQ(in.offset, in.bytes.size()) << "nothing after the last control";
}

TEST(DialogTemplateBytes, MainDialogIsAnExtendedTemplateWithItsFontAndAllControls)
{
    const DialogTemplate& dialog = MainDialogTemplate();
    ASSERT_EQ(LayoutOf(dialog), TemplateLayout::Extended);
    std::vector<std::uint8_t> bytes = BuildTemplateBytes(dialog, TemplateLayout::Extended);
    CReader in(bytes);
    EXPECT_EQ(in.Word(), 1u) << "dlgVer";
    EXPECT_EQ(in.Word(), 0xFFFFu) << "signature";
    EXPECT_EQ(in.DWord(), 0u) << "help id";
    EXPECT_EQ(in.DWord(), 0x00040000u) << "WS_EX_APPWINDOW";
    EXPECT_EQ(in.DWord(), 0x90C800C0u);
    EXPECT_EQ(in.Word(), 22u);
    EXPECT_EQ((std::array{in.Word(), in.Word(), in.Word(), in.Word()}), (std::array<std::uint16_t, 4>{0, 0, 272, 262}));
    EXPECT_EQ(in.Word(), 0u) << "no menu";
    EXPECT_EQ(in.Word(), 0u) << "the platform's dialog class";
    EXPECT_EQ(in.Text(), "Brellick - Tallowmere");
    EXPECT_EQ(in.Word(), 8u) << "points";
    EXPECT_EQ(in.Word(), 0u) << "weight";
    EXPECT_EQ(in.Byte(), 0u) << "italic";
    EXPECT_EQ(in.Byte(), 1u) << "DEFAULT_CHARSET";
    EXPECT_EQ(in.Text(), "MS Sans Serif");
    ExpectControlsAsTemplate(in, dialog, true);
}

TEST(DialogTemplateBytes, ResultsDialogIsAClassicTemplate)
{
    const DialogTemplate& dialog = ResultsDialogTemplate();
    ASSERT_EQ(LayoutOf(dialog), TemplateLayout::Classic);
    std::vector<std::uint8_t> bytes = BuildTemplateBytes(dialog, TemplateLayout::Classic);
    CReader in(bytes);
    EXPECT_EQ(in.DWord(), 0x80C800C0u);
    EXPECT_EQ(in.DWord(), 0u) << "no extended style";
    EXPECT_EQ(in.Word(), 4u);
    EXPECT_EQ((std::array{in.Word(), in.Word(), in.Word(), in.Word()}), (std::array<std::uint16_t, 4>{0, 0, 325, 173}));
    EXPECT_EQ(in.Word(), 0u);
    EXPECT_EQ(in.Word(), 0u);
    EXPECT_EQ(in.Text(), "Test Results");
    EXPECT_EQ(in.Word(), 8u);
    EXPECT_EQ(in.Text(), "MS Sans Serif");
    ExpectControlsAsTemplate(in, dialog, false);
}

// The same data in the other layout: the writer does not depend on which
// template it is given, and the id -1 fills either id field.
TEST(DialogTemplateBytes, EitherLayoutCarriesEitherTemplate)
{
    for (const DialogTemplate* dialog : {&MainDialogTemplate(), &ResultsDialogTemplate()}) {
        for (TemplateLayout layout : {TemplateLayout::Classic, TemplateLayout::Extended}) {
            bool extended = layout == TemplateLayout::Extended;
            SCOPED_TRACE(std::string(dialog->title) + (extended ? " extended" : " classic"));
            std::vector<std::uint8_t> bytes = BuildTemplateBytes(*dialog, layout);
            CReader in(bytes);
            in.offset = extended ? 26 : 18;
            in.Word();
            in.Word();
            EXPECT_EQ(in.Text(), dialog->title);
            in.Word();
            if (extended)
                in.DWord();
            EXPECT_EQ(in.Text(), dialog->fontName);
            ExpectControlsAsTemplate(in, *dialog, extended);
        }
    }
}

TEST(DialogTemplateBytes, WithoutSetFontNoFontIsWritten)
{
    std::array<ControlTemplate, 1> controls{{{7, ControlClass::Static, "odd", 0x50000000, 1, 2, 3, 4}}};
    DialogTemplate dialog{500, "x", 0x80C80080, 0, 0, 0, 10, 10, "MS Sans Serif", 8, controls};
    std::vector<std::uint8_t> bytes = BuildTemplateBytes(dialog, TemplateLayout::Classic);
    CReader in(bytes);
    in.offset = 22;
    EXPECT_EQ(in.Text(), "x");
    ExpectControlsAsTemplate(in, dialog, false);
}

TEST(DialogTemplateBytes, ValuesTheLayoutCannotHoldGiveNoTemplate)
{
    struct Row {
        const char* name;
        int dialogWidth;
        int controlX;
    };
    for (Row row : {Row{"dialog too wide", 40000, 0}, Row{"control too far left", 10, -40000}}) {
        SCOPED_TRACE(row.name);
        std::array<ControlTemplate, 1> controls{{{1, ControlClass::Button, "b", 0x50010000, row.controlX, 0, 5, 5}}};
        DialogTemplate dialog{500, "x", 0x80C800C0, 0, 0, 0, row.dialogWidth, 10, "MS Sans Serif", 8, controls};
        EXPECT_TRUE(BuildTemplateBytes(dialog, TemplateLayout::Classic).empty());
        EXPECT_TRUE(BuildTemplateBytes(dialog, TemplateLayout::Extended).empty());
    }
}

} // namespace
