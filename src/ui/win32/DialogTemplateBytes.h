// SPDX-License-Identifier: GPL-3.0-or-later
// Dialog templates in the platform's binary layout: the in-memory form that
// DialogBoxIndirectParam reads, built from the same template data the other
// front ends lay out. Nothing here calls the platform, so the layout can be
// checked byte for byte anywhere.
#pragma once

#include <cstdint>
#include <vector>

#include "ui/DialogTemplate.h"

// DLGTEMPLATEEX (version 1, signature 0xFFFF, with help ids, font weight,
// italic flag and character set) or the classic DLGTEMPLATE.
enum class TemplateLayout { Classic, Extended };

// The main dialog (102) was drawn as an extended template, the results
// dialog (129) and any other as a classic one.
TemplateLayout LayoutOf(const DialogTemplate& dialogTemplate);

// Atoms of the predefined control classes, written as ordinals (0xFFFF, atom).
namespace ControlClassAtom {
constexpr std::uint16_t Button = 0x0080;
constexpr std::uint16_t Edit = 0x0081;
constexpr std::uint16_t Static = 0x0082;
constexpr std::uint16_t ComboBox = 0x0085;
} // namespace ControlClassAtom

// The progress bar has no atom; its class is named (after InitCommonControlsEx).
constexpr const char* ProgressBarClassName = "msctls_progress32";

// Font of a DS_SETFONT template: weight 0 is the default weight, character
// set 1 is DEFAULT_CHARSET (written in the extended layout only).
constexpr std::uint16_t TemplateFontWeight = 0;
constexpr std::uint8_t TemplateFontCharset = 1;

// The template's bytes: header (no menu, the platform's dialog class, the
// title, the font when the style has DS_SETFONT), then each control on a
// 4-byte boundary with its style, position and size in dialog units, id,
// class, text and no creation data. Texts are widened byte by byte (the
// templates are plain ASCII). The first byte is meant to sit on a 4-byte
// boundary, as vector storage does.
//
// Empty when the template cannot be written: more than 65535 controls, or a
// position or size outside -32768..32767.
std::vector<std::uint8_t> BuildTemplateBytes(const DialogTemplate& dialogTemplate, TemplateLayout layout);
