// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/svg/SvgDocument.h"

#include "measure/svg/Markup.h"

namespace {

std::string Number(double value) { return MarkupNumber(value, 1); }

} // namespace

CSvgDocument::CSvgDocument(int width, int height, std::string_view idPrefix, std::string_view title,
                           std::string_view description)
    : prefix(MarkupText(idPrefix))
{
    head = "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" + std::to_string(width) +
           "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " + std::to_string(width) + " " +
           std::to_string(height) + "\" role=\"img\" aria-labelledby=\"" + prefix + "-title " + prefix +
           "-desc\" font-family=\"DejaVu Sans, Verdana, sans-serif\" font-size=\"13\">\n<title id=\"" + prefix +
           "-title\">" + MarkupText(title) + "</title>\n<desc id=\"" + prefix + "-desc\">" +
           MarkupText(description) + "</desc>\n<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n";
}

std::string CSvgDocument::Stroke(const SvgStroke& stroke) const
{
    std::string out = " stroke=\"" + MarkupText(stroke.colour) + "\"";
    if (stroke.width != 1)
        out += " stroke-width=\"" + MarkupNumber(stroke.width, 2) + "\"";
    if (!stroke.dash.empty())
        out += " stroke-dasharray=\"" + MarkupText(stroke.dash) + "\"";
    return out;
}

void CSvgDocument::Line(SvgPoint from, SvgPoint to, const SvgStroke& stroke)
{
    body += "<line x1=\"" + Number(from.x) + "\" y1=\"" + Number(from.y) + "\" x2=\"" + Number(to.x) +
            "\" y2=\"" + Number(to.y) + "\"" + Stroke(stroke) + "/>\n";
}

void CSvgDocument::Rect(double x, double y, double w, double h, const SvgStroke& stroke, std::string_view fill)
{
    body += "<rect x=\"" + Number(x) + "\" y=\"" + Number(y) + "\" width=\"" + Number(w) + "\" height=\"" +
            Number(h) + "\" fill=\"" + MarkupText(fill) + "\"" + Stroke(stroke) + "/>\n";
}

void CSvgDocument::Polyline(const std::vector<SvgPoint>& points, const SvgStroke& stroke)
{
    if (points.size() < 2)
        return;
    std::string list;
    list.reserve(points.size() * 12);
    for (const SvgPoint& p : points) {
        if (!list.empty())
            list += ' ';
        list += Number(p.x) + "," + Number(p.y);
    }
    body += "<polyline fill=\"none\"" + Stroke(stroke) + " stroke-linejoin=\"round\" points=\"" + list + "\"/>\n";
}

void CSvgDocument::Path(const std::string& data, const SvgStroke& stroke, std::string_view fill)
{
    if (data.empty())
        return;
    body += "<path fill=\"" + MarkupText(fill) + "\"" + Stroke(stroke) + " d=\"" + MarkupText(data) + "\"/>\n";
}

void CSvgDocument::Text(double x, double y, std::string_view text, SvgAnchor anchor, std::string_view colour)
{
    body += "<text x=\"" + Number(x) + "\" y=\"" + Number(y) + "\"";
    if (anchor != SvgAnchor::Start)
        body += anchor == SvgAnchor::Middle ? " text-anchor=\"middle\"" : " text-anchor=\"end\"";
    if (colour != "#000")
        body += " fill=\"" + MarkupText(colour) + "\"";
    body += ">" + MarkupText(text) + "</text>\n";
}

void CSvgDocument::BeginClip(double x, double y, double w, double h)
{
    EndClip();
    const std::string id = prefix + "-clip" + std::to_string(++clips);
    body += "<clipPath id=\"" + id + "\"><rect x=\"" + Number(x) + "\" y=\"" + Number(y) + "\" width=\"" +
            Number(w) + "\" height=\"" + Number(h) + "\"/></clipPath>\n<g clip-path=\"url(#" + id + ")\">\n";
    clipping = true;
}

void CSvgDocument::EndClip()
{
    if (clipping)
        body += "</g>\n";
    clipping = false;
}

std::string CSvgDocument::Finish() const
{
    return head + body + (clipping ? "</g>\n" : "") + "</svg>\n";
}
