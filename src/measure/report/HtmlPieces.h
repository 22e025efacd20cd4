// SPDX-License-Identifier: GPL-3.0-or-later
// The pieces the report's sections are written with: sections, paragraphs,
// definition lists, tables with a caption and a header row, and verdicts
// that carry their word and a shape besides their colour. Every text
// passed in is escaped here; markup comes only from these functions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

enum class Verdict { Pass, Warn, Fail, Info };

// One table cell: escaped text, or markup from Badge() or a number.
struct HtmlCell {
    std::string html;
};
HtmlCell Cell(std::string_view text);
// "✔ pass", "▲ warn", "✖ fail" or "● note", as a span of its class.
HtmlCell Badge(Verdict verdict);

class CHtml {
public:
    void BeginSection(std::string_view id, std::string_view heading);
    void EndSection();
    void Heading3(std::string_view text);
    void Paragraph(std::string_view text);
    // A paragraph of a verdict and its words.
    void VerdictLine(Verdict verdict, std::string_view text);
    // Text kept as it is, line for line (a report, a program's table).
    void Preformatted(std::string_view text, std::string_view label);
    // Name and value pairs.
    void BeginFacts();
    void Fact(std::string_view name, std::string_view value);
    void EndFacts();
    void BeginTable(std::string_view caption, const std::vector<std::string>& headers);
    // The first cell is the row's header.
    void Row(const std::vector<HtmlCell>& cells);
    void EndTable();
    // Markup made elsewhere (an SVG picture), inside a figure with a caption.
    void Figure(const std::string& svg, std::string_view caption);

    const std::string& Text() const { return out; }

private:
    std::string out;
};
