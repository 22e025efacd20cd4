// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/report/HtmlPieces.h"

#include "measure/svg/Markup.h"

HtmlCell Cell(std::string_view text)
{
    return {MarkupText(text)};
}

HtmlCell Badge(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Pass: return {"<span class=\"verdict pass\">&#10004; pass</span>"};
    case Verdict::Warn: return {"<span class=\"verdict warn\">&#9650; warn</span>"};
    case Verdict::Fail: return {"<span class=\"verdict fail\">&#10006; fail</span>"};
    case Verdict::Info: break;
    }
    return {"<span class=\"verdict info\">&#9679; note</span>"};
}

void CHtml::BeginSection(std::string_view id, std::string_view heading)
{
    out += "<section id=\"" + MarkupText(id) + "\">\n<h2>" + MarkupText(heading) + "</h2>\n";
}

void CHtml::EndSection()
{
    out += "</section>\n";
}

void CHtml::Heading3(std::string_view text)
{
    out += "<h3>" + MarkupText(text) + "</h3>\n";
}

void CHtml::Paragraph(std::string_view text)
{
    out += "<p>" + MarkupText(text) + "</p>\n";
}

void CHtml::VerdictLine(Verdict verdict, std::string_view text)
{
    out += "<p>" + Badge(verdict).html + " " + MarkupText(text) + "</p>\n";
}

void CHtml::Preformatted(std::string_view text, std::string_view label)
{
    out += "<pre aria-label=\"" + MarkupText(label) + "\">" + MarkupText(text) + "</pre>\n";
}

void CHtml::BeginFacts()
{
    out += "<dl class=\"facts\">\n";
}

void CHtml::Fact(std::string_view name, std::string_view value)
{
    out += "<dt>" + MarkupText(name) + "</dt><dd>" + MarkupText(value) + "</dd>\n";
}

void CHtml::EndFacts()
{
    out += "</dl>\n";
}

void CHtml::BeginTable(std::string_view caption, const std::vector<std::string>& headers)
{
    out += "<table>\n<caption>" + MarkupText(caption) + "</caption>\n<thead><tr>";
    for (const std::string& header : headers)
        out += "<th scope=\"col\">" + MarkupText(header) + "</th>";
    out += "</tr></thead>\n<tbody>\n";
}

void CHtml::Row(const std::vector<HtmlCell>& cells)
{
    out += "<tr>";
    for (std::size_t i = 0; i < cells.size(); ++i)
        out += (i == 0 ? "<th scope=\"row\">" : "<td>") + cells[i].html + (i == 0 ? "</th>" : "</td>");
    out += "</tr>\n";
}

void CHtml::EndTable()
{
    out += "</tbody>\n</table>\n";
}

void CHtml::Figure(const std::string& svg, std::string_view caption)
{
    out += "<figure>\n" + svg + "<figcaption>" + MarkupText(caption) + "</figcaption>\n</figure>\n";
}
