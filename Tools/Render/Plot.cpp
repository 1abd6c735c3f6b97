#include "Tools/Render/Plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#ifdef TAMBLOR_RENDER_CAIRO
#include <cairo-svg.h>
#include <cairo.h>
#include <ebur128.h>
#endif

namespace render {

double CPlotLayout::CPanel::y(double db) const {
    const double t = (dbTop - std::clamp(db, dbBottom, dbTop)) / (dbTop - dbBottom);
    return top + t * height;
}

int CPlotLayout::column(double seconds, double totalSeconds) {
    if (totalSeconds <= 0) return kLeft;
    return kLeft + int(std::floor(seconds / totalSeconds * plotWidth()));
}

#ifndef TAMBLOR_RENDER_CAIRO

bool plotSupported() { return false; }

std::string drawPlot(const std::string&, const CAudioBuffer&, const CAudioBuffer&, const CRenderReport&) {
    return "this build draws no plots";
}

#else

bool plotSupported() { return true; }

namespace {

using L = CPlotLayout;

struct CColumn {
    double inPeak = 0, inRms = 0, outPeak = 0, outRms = 0;  // linear
    double gainReductionDb = 0;
};

double db(double v) { return v > 0 ? 20.0 * std::log10(v) : -200.0; }

// Peak, RMS and gain reduction of each pixel column.
std::vector<CColumn> columns(const CAudioBuffer& in, const CAudioBuffer& out, double staticGainDb) {
    const int width = L::plotWidth();
    std::vector<CColumn> cols(static_cast<size_t>(width));
    const size_t frames = std::min(in.frames(), out.frames());
    const double gain = std::pow(10.0, staticGainDb / 20.0);
    if (frames == 0) return cols;
    for (int c = 0; c < width; ++c) {
        const size_t from = size_t(double(c) * double(frames) / width);
        const size_t to = std::max(from + 1, size_t(double(c + 1) * double(frames) / width));
        if (from >= frames) break;
        CColumn& col = cols[size_t(c)];
        double inSum = 0, outSum = 0, worst = 1.0;
        size_t count = 0;
        for (size_t ch = 0; ch < std::min(in.channels.size(), out.channels.size()); ++ch) {
            double px = 0, py = 0;
            for (size_t i = from; i < std::min(to, frames); ++i) {
                const double x = in.channels[ch][i], y = out.channels[ch][i];
                px = std::max(px, std::fabs(x));
                py = std::max(py, std::fabs(y));
                inSum += x * x;
                outSum += y * y;
                ++count;
            }
            col.inPeak = std::max(col.inPeak, px);
            col.outPeak = std::max(col.outPeak, py);
            // As the report's figure: the input peak raised by the static gain over the output peak.
            if (px * gain >= 0.01 && py > 0) worst = std::max(worst, px * gain / py);
        }
        col.inRms = count ? std::sqrt(inSum / double(count)) : 0;
        col.outRms = count ? std::sqrt(outSum / double(count)) : 0;
        col.gainReductionDb = db(worst);
    }
    return cols;
}

// Short-term loudness (3 s) every 100 ms: (seconds, LUFS), from the first
// full window on (from the end of a shorter programme).
std::vector<std::pair<double, double>> shortTerm(const CAudioBuffer& buf) {
    std::vector<std::pair<double, double>> points;
    const auto channels = unsigned(buf.channels.size());
    if (!channels || buf.sampleRate < 1) return points;
    ebur128_state* st = ebur128_init(channels, static_cast<unsigned long>(buf.sampleRate), EBUR128_MODE_S);
    if (!st) return points;
    const size_t step = std::max<size_t>(1, size_t(buf.sampleRate / 10));
    std::vector<double> inter(step * channels);
    for (size_t done = 0; done < buf.frames(); done += step) {
        const size_t n = std::min(step, buf.frames() - done);
        for (size_t i = 0; i < n; ++i)
            for (unsigned c = 0; c < channels; ++c) inter[i * channels + c] = buf.channels[c][done + i];
        ebur128_add_frames_double(st, inter.data(), n);
        double v = 0;
        const size_t window = std::min(buf.frames(), size_t(3.0 * buf.sampleRate));
        if (done + n >= window && ebur128_loudness_shortterm(st, &v) == EBUR128_SUCCESS && std::isfinite(v))
            points.emplace_back(double(done + n) / buf.sampleRate, v);
    }
    ebur128_destroy(&st);
    return points;
}

void rgb(cairo_t* cr, unsigned c, double alpha = 1.0) {
    cairo_set_source_rgba(cr, ((c >> 16) & 255) / 255.0, ((c >> 8) & 255) / 255.0, (c & 255) / 255.0, alpha);
}

void text(cairo_t* cr, double x, double y, const std::string& s, double size, double alignX = 0.0,
          bool bold = false) {
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    cairo_text_extents_t e;
    cairo_text_extents(cr, s.c_str(), &e);
    cairo_move_to(cr, x - alignX * e.x_advance, y);
    cairo_show_text(cr, s.c_str());
}

std::string format(const char* f, double v) {
    char s[64];
    std::snprintf(s, sizeof s, f, v);
    return s;
}

std::string timeLabel(double seconds, double step) {
    if (seconds >= 60) {
        const int m = int(seconds / 60);
        return format("%.0f", m) + ":" + format("%02.0f", seconds - 60 * m);
    }
    return step < 1 ? format("%.1f s", seconds) : format("%.0f s", seconds);
}

// The panel's frame, horizontal grid lines every gridDb with labels, and its name.
void panel(cairo_t* cr, const L::CPanel& p, double gridDb, const std::string& name, const std::string& unit) {
    const double x0 = L::kLeft, x1 = L::kWidth - L::kRight;
    cairo_set_line_width(cr, 1.0);
    for (double v = p.dbTop; v >= p.dbBottom - 1e-9; v -= gridDb) {
        rgb(cr, 0xDDDDDD);
        cairo_move_to(cr, x0, std::round(p.y(v)) + 0.5);
        cairo_line_to(cr, x1, std::round(p.y(v)) + 0.5);
        cairo_stroke(cr);
        rgb(cr, 0x333333);
        text(cr, x0 - 10, p.y(v) + 6, format("%.0f", v), 17, 1.0);
    }
    rgb(cr, 0x333333);
    cairo_rectangle(cr, x0 + 0.5, p.top + 0.5, x1 - x0, p.height);
    cairo_stroke(cr);
    text(cr, x0 + 8, p.top - 10, name, 19, 0.0, true);
    cairo_save(cr);
    cairo_translate(cr, 30, p.top + p.height / 2.0);
    cairo_rotate(cr, -M_PI / 2);
    text(cr, 0, 0, unit, 17, 0.5);
    cairo_restore(cr);
}

void timeAxis(cairo_t* cr, const L::CPanel& p, double seconds) {
    const double steps[] = {0.1, 0.2, 0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600};
    double step = steps[0];
    for (double s : steps)
        if (seconds / s <= 12) {
            step = s;
            break;
        }
    for (double t = 0; t <= seconds + 1e-9; t += step) {
        const double x = L::column(t, seconds) + 0.5;
        rgb(cr, 0x333333);
        cairo_move_to(cr, x, p.top + p.height);
        cairo_line_to(cr, x, p.top + p.height + 8);
        cairo_stroke(cr);
        text(cr, x, p.top + p.height + 28, timeLabel(t, step), 17, 0.5);
    }
}

void legend(cairo_t* cr, double x, double y, const std::vector<std::pair<unsigned, std::string>>& items) {
    for (const auto& [colour, label] : items) {
        rgb(cr, colour);
        cairo_rectangle(cr, x, y - 13, 26, 14);
        cairo_fill(cr);
        rgb(cr, 0x333333);
        text(cr, x + 34, y, label, 17);
        cairo_text_extents_t e;
        cairo_text_extents(cr, label.c_str(), &e);
        x += 34 + e.x_advance + 28;
    }
}

void draw(cairo_t* cr, const CAudioBuffer& in, const CAudioBuffer& out, const CRenderReport& r) {
    const double seconds = double(in.frames()) / std::max(1.0, in.sampleRate);
    const std::vector<CColumn> cols = columns(in, out, r.inGainDb + r.outGainDb);
    rgb(cr, 0xFFFFFF);
    cairo_paint(cr);

    // Title: the file and the settings.
    rgb(cr, 0x111111);
    std::string name = r.input;
    if (!r.output.empty()) name += "  ->  " + r.output;
    text(cr, L::kLeft, 38, name, 26, 0.0, true);
    std::string settings = "In Gain " + format("%+.2f dB", r.inGainDb) + ", Out Gain " + format("%+.2f dB", r.outGainDb);
    if (!r.preset.empty()) settings += ", preset \"" + r.preset + "\"";
    if (r.searchPasses) settings += ", target " + format("%.1f LUFS", r.targetLufs);
    settings += "   |   output " + format("%.1f LUFS", r.out.integrated) + ", true peak " +
                format("%+.2f dBTP", r.out.truePeak16x) + " (16x), max gain reduction " +
                format("%.1f dB", r.maxGainReductionDb);
    text(cr, L::kLeft, 68, settings, 19);

    // Levels: envelopes of input and output, the Out Gain, overs.
    const L::CPanel& lv = L::kLevels;
    panel(cr, lv, 6, "Level: peak and RMS per column", "dBFS");
    const unsigned inPeakC = 0x4A6FA5, inRmsC = 0x1B2A44, outPeakC = 0xF0A030, outRmsC = 0xB35C00;
    auto envelope = [&](auto value, unsigned colour, double alpha) {
        rgb(cr, colour, alpha);
        for (size_t c = 0; c < cols.size(); ++c) {
            const double v = db(value(cols[c]));
            if (v <= lv.dbBottom) continue;
            const double x = L::kLeft + double(c);
            cairo_rectangle(cr, x, lv.y(v), 1.0, lv.top + lv.height - lv.y(v));
        }
        cairo_fill(cr);
    };
    // The output filled, the input over it as lines, so both stay visible.
    envelope([](const CColumn& c) { return c.outPeak; }, outPeakC, 0.8);
    envelope([](const CColumn& c) { return c.outRms; }, outRmsC, 0.8);
    auto line = [&](auto value, unsigned colour) {
        rgb(cr, colour);
        cairo_set_line_width(cr, 1.5);
        for (size_t c = 0; c < cols.size(); ++c) {
            const double x = L::kLeft + double(c) + 0.5, y = lv.y(db(value(cols[c])));
            if (c == 0)
                cairo_move_to(cr, x, y);
            else
                cairo_line_to(cr, x, y);
        }
        cairo_stroke(cr);
    };
    line([](const CColumn& c) { return c.inPeak; }, inPeakC);
    line([](const CColumn& c) { return c.inRms; }, inRmsC);
    const double ceilingY = lv.y(r.outGainDb);
    rgb(cr, 0xC0392B);
    cairo_set_line_width(cr, 2.0);
    const double dash[] = {10.0, 6.0};
    cairo_set_dash(cr, dash, 2, 0);
    cairo_move_to(cr, L::kLeft, ceilingY);
    cairo_line_to(cr, L::kWidth - L::kRight, ceilingY);
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0);
    for (size_t at : r.overs.truePeakOverAt) {  // a mark above the panel for each true-peak over
        const double x = L::column(double(at) / std::max(1.0, in.sampleRate), seconds) + 0.5;
        cairo_move_to(cr, x, lv.top + 14);
        cairo_line_to(cr, x - 6, lv.top + 2);
        cairo_line_to(cr, x + 6, lv.top + 2);
        cairo_close_path(cr);
    }
    cairo_fill(cr);
    legend(cr, L::kLeft, lv.top + lv.height + 36,
           {{inPeakC, "input peak"}, {inRmsC, "input RMS"}, {outPeakC, "output peak"}, {outRmsC, "output RMS"},
            {0xC0392B, "Out Gain " + format("%+.2f dB", r.outGainDb) + "; marks: true peak (16x) over it (" +
                           std::to_string(r.overs.truePeakRuns) + ")"}});

    // Gain reduction, downwards from 0 dB.
    double worst = 0;
    for (const CColumn& c : cols) worst = std::max(worst, c.gainReductionDb);
    L::CPanel gr = L::kGainReduction;
    gr.dbBottom = -std::max(12.0, 6.0 * std::ceil(worst / 6.0));
    panel(cr, gr, gr.dbBottom < -24 ? 12 : gr.dbBottom < -12 ? 6 : 3, "Gain reduction", "dB");
    rgb(cr, L::kGainReductionRgb);
    for (size_t c = 0; c < cols.size(); ++c) {
        if (cols[c].gainReductionDb < 0.05) continue;
        cairo_rectangle(cr, L::kLeft + double(c), gr.top + 1, 1.0, gr.y(-cols[c].gainReductionDb) - gr.top - 1);
    }
    cairo_fill(cr);

    // Short-term loudness of input and output.
    const L::CPanel& ld = L::kLoudness;
    panel(cr, ld, 6, "Short-term loudness (3 s)", "LUFS");
    auto curve = [&](const CAudioBuffer& b, unsigned colour) {
        rgb(cr, colour);
        cairo_set_line_width(cr, 2.5);
        bool started = false;
        for (const auto& [t, v] : shortTerm(b)) {
            const double x = L::kLeft + t / std::max(seconds, 1e-9) * L::plotWidth();
            if (started)
                cairo_line_to(cr, x, ld.y(v));
            else
                cairo_move_to(cr, x, ld.y(v));
            started = true;
        }
        cairo_stroke(cr);
    };
    curve(in, inRmsC);
    curve(out, 0x1F5FBF);
    if (r.searchPasses) {
        rgb(cr, 0x1F5FBF);
        cairo_set_line_width(cr, 1.5);
        cairo_set_dash(cr, dash, 2, 0);
        cairo_move_to(cr, L::kLeft, ld.y(r.targetLufs));
        cairo_line_to(cr, L::kWidth - L::kRight, ld.y(r.targetLufs));
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0);
    }
    timeAxis(cr, ld, seconds);
    legend(cr, L::kLeft, ld.top + ld.height + 62,
           {{inRmsC, "input " + format("%.1f LUFS", r.in.integrated)},
            {0x1F5FBF, "output " + format("%.1f LUFS", r.out.integrated) + " integrated"}});
}

}  // namespace

std::string drawPlot(const std::string& path, const CAudioBuffer& input, const CAudioBuffer& output,
                     const CRenderReport& report) {
    const bool svg = path.size() >= 4 && path.compare(path.size() - 4, 4, ".svg") == 0;
    cairo_surface_t* surface = svg ? cairo_svg_surface_create(path.c_str(), L::kWidth, L::kHeight)
                                   : cairo_image_surface_create(CAIRO_FORMAT_RGB24, L::kWidth, L::kHeight);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return "cannot create '" + path + "'";
    }
    cairo_t* cr = cairo_create(surface);
    draw(cr, input, output, report);
    cairo_destroy(cr);
    cairo_status_t status = CAIRO_STATUS_SUCCESS;
    if (svg)
        cairo_surface_finish(surface);
    else
        status = cairo_surface_write_to_png(surface, path.c_str());
    if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    return status == CAIRO_STATUS_SUCCESS ? std::string() : "cannot write '" + path + "': " +
                                                               cairo_status_to_string(status);
}

#endif

}  // namespace render
