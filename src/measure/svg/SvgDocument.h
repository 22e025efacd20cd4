// SPDX-License-Identifier: GPL-3.0-or-later
// A small SVG 1.1 writer for the measurement pictures: lines, rectangles,
// paths, polylines and text, with a title and a description for readers
// that cannot see the picture. The result is a standalone file and can be
// put inside an HTML page as it is (ids carry a prefix of the caller's).
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct SvgPoint {
    double x = 0;
    double y = 0;
};

// A stroke: colour ("#1f5fbf"), width, and a dash pattern ("6 3"; empty
// for a solid line), so a curve is told apart by its shape as well.
struct SvgStroke {
    std::string colour = "#000";
    double width = 1;
    std::string dash;
};

enum class SvgAnchor { Start, Middle, End };

class CSvgDocument {
public:
    // `idPrefix` makes the title's and description's ids unique in a page
    // holding several pictures; the texts are escaped.
    CSvgDocument(int width, int height, std::string_view idPrefix, std::string_view title,
                 std::string_view description);

    void Line(SvgPoint from, SvgPoint to, const SvgStroke& stroke);
    void Rect(double x, double y, double width, double height, const SvgStroke& stroke,
              std::string_view fill = "none");
    // A polyline through the points; nothing for fewer than two.
    void Polyline(const std::vector<SvgPoint>& points, const SvgStroke& stroke);
    // Path data the caller built from MarkupNumber()s ("M1 2V3..."); a
    // fill colour for closed shapes (markers).
    void Path(const std::string& data, const SvgStroke& stroke, std::string_view fill = "none");
    void Text(double x, double y, std::string_view text, SvgAnchor anchor = SvgAnchor::Start,
              std::string_view colour = "#000");
    // Later elements are clipped to this rectangle until EndClip.
    void BeginClip(double x, double y, double width, double height);
    void EndClip();

    // The whole document, "<svg ...>...</svg>\n".
    std::string Finish() const;

private:
    std::string Stroke(const SvgStroke& stroke) const;

    std::string prefix;
    std::string head;
    std::string body;
    int clips = 0;
    bool clipping = false;
};
