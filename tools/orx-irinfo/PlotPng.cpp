// Draws the IR File Info layout with cairo and writes it as PNG.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlotPng.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <memory>

namespace {

void setColour(cairo_t* cr, eLibrary::PlotColour c)
{
    cairo_set_source_rgb(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0);
}

void roundedRect(cairo_t* cr, const eLibrary::PlotShape& s)
{
    const double x0 = s.points[0].x, y0 = s.points[0].y, x1 = s.points[1].x, y1 = s.points[1].y, r = s.radius;
    constexpr double kQuarter = 1.5707963267948966;
    cairo_new_sub_path(cr);
    cairo_arc(cr, x1 - r, y0 + r, r, -kQuarter, 0);
    cairo_arc(cr, x1 - r, y1 - r, r, 0, kQuarter);
    cairo_arc(cr, x0 + r, y1 - r, r, kQuarter, 2 * kQuarter);
    cairo_arc(cr, x0 + r, y0 + r, r, 2 * kQuarter, 3 * kQuarter);
    cairo_close_path(cr);
}

void draw(cairo_t* cr, const std::vector<eLibrary::PlotShape>& shapes)
{
    using Kind = eLibrary::PlotShape::Kind;
    for (const eLibrary::PlotShape& s : shapes) {
        switch (s.kind) {
        case Kind::FilledRect:
            setColour(cr, s.fill);
            cairo_rectangle(cr, s.points[0].x, s.points[0].y, s.points[1].x - s.points[0].x,
                            s.points[1].y - s.points[0].y);
            cairo_fill(cr);
            break;
        case Kind::RoundedRect:
            roundedRect(cr, s);
            setColour(cr, s.fill);
            cairo_fill_preserve(cr);
            setColour(cr, s.colour);
            cairo_set_line_width(cr, s.width);
            cairo_stroke(cr);
            break;
        case Kind::Line:
        case Kind::Polyline:
        case Kind::Segments: {
            // A polyline goes on from point to point; segments are pairs, each a line of its own.
            const bool pairs = s.kind == Kind::Segments;
            for (std::size_t i = 0; i < s.points.size(); ++i) {
                if (i == 0 || (pairs && i % 2 == 0))
                    cairo_move_to(cr, s.points[i].x, s.points[i].y);
                else
                    cairo_line_to(cr, s.points[i].x, s.points[i].y);
            }
            setColour(cr, s.colour);
            cairo_set_line_width(cr, s.width);
            cairo_stroke(cr);
            break;
        }
        case Kind::Text:
            setColour(cr, s.colour);
            cairo_move_to(cr, s.points[0].x, s.points[0].y);
            cairo_show_text(cr, s.text.c_str());
            break;
        }
    }
}

} // namespace

std::string writeIrPlotPng(const eLibrary::IrPlotData& data, const std::string& path)
{
    std::string problem;
    {
        const std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
            cairo_image_surface_create(CAIRO_FORMAT_RGB24, eLibrary::kIrPlotWidth, eLibrary::kIrPlotHeight),
            cairo_surface_destroy);
        const std::unique_ptr<cairo_t, decltype(&cairo_destroy)> context(cairo_create(surface.get()), cairo_destroy);
        cairo_t* cr = context.get();
        // The dialog's monospace face at 9.5 points on a 96 dpi screen.
        cairo_select_font_face(cr, "monospace", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, 9.5 * 96.0 / 72.0);
        cairo_font_extents_t font{};
        cairo_font_extents(cr, &font);
        const eLibrary::PlotTextWidth textWidth = [cr](const std::string& text) {
            cairo_text_extents_t extents{};
            cairo_text_extents(cr, text.c_str(), &extents);
            return extents.x_advance;
        };
        draw(cr, eLibrary::layoutIrPlot(data, eLibrary::kIrPlotWidth, eLibrary::kIrPlotHeight, font.height + 2,
                                        textWidth));
        if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
            problem = cairo_status_to_string(cairo_status(cr));
        } else {
            cairo_surface_flush(surface.get());
            const cairo_status_t written = cairo_surface_write_to_png(surface.get(), path.c_str());
            if (written != CAIRO_STATUS_SUCCESS)
                problem = cairo_status_to_string(written);
        }
    }
    // One picture per run: cairo's font caches and fontconfig's configuration are given back, so that nothing
    // they allocated outlives the program (a leak checker would count them).
    cairo_debug_reset_static_data();
    FcFini();
    return problem;
}
