// Drawing recipes over cairo. Tinted layers are drawn in grey (128 is the
// tinting colour itself), full-colour layers in their own colours.
#include "Tools/ImageSetGen/Recipes.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <random>

namespace {
constexpr double kScale = 2.0;  // authoring scale
constexpr double kPi = 3.14159265358979323846;

// A cairo canvas in logical units, drawn at the authoring scale.
class Canvas {
public:
    Canvas(double w, double h)
        : m_w(int(std::lround(w * kScale))), m_h(int(std::lround(h * kScale))),
          m_surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(m_w, 1), std::max(m_h, 1))),
          m_cr(cairo_create(m_surface)) {
        cairo_scale(m_cr, kScale, kScale);
        cairo_set_antialias(m_cr, CAIRO_ANTIALIAS_GOOD);
    }
    ~Canvas() {
        cairo_destroy(m_cr);
        cairo_surface_destroy(m_surface);
    }
    cairo_t* cr() { return m_cr; }
    int width() const { return m_w; }
    int height() const { return m_h; }
    void grey(int g, double a = 1.0) { cairo_set_source_rgba(m_cr, g / 255.0, g / 255.0, g / 255.0, a); }

    // Blurs the canvas (three box passes, radius in logical pixels).
    void blur(double radius) {
        cairo_surface_flush(m_surface);
        const int r = int(std::lround(radius * kScale / 2));
        if (r <= 0) return;
        uint8_t* data = cairo_image_surface_get_data(m_surface);
        const int stride = cairo_image_surface_get_stride(m_surface);
        std::vector<float> buf(size_t(m_w) * size_t(m_h) * 4);
        for (int y = 0; y < m_h; ++y)
            for (int x = 0; x < m_w; ++x)
                for (int c = 0; c < 4; ++c) buf[(size_t(y) * size_t(m_w) + size_t(x)) * 4 + size_t(c)] = data[y * stride + x * 4 + c];
        std::vector<float> tmp(buf.size());
        for (int pass = 0; pass < 3; ++pass) {
            for (int axis = 0; axis < 2; ++axis) {
                const int n = axis == 0 ? m_w : m_h, lines = axis == 0 ? m_h : m_w;
                for (int line = 0; line < lines; ++line) {
                    for (int i = 0; i < n; ++i) {
                        float acc[4] = {0, 0, 0, 0};
                        for (int k = -r; k <= r; ++k) {
                            const int j = i + k;
                            if (j < 0 || j >= n) continue;
                            const size_t at = axis == 0 ? (size_t(line) * size_t(m_w) + size_t(j)) : (size_t(j) * size_t(m_w) + size_t(line));
                            for (int c = 0; c < 4; ++c) acc[c] += buf[at * 4 + size_t(c)];
                        }
                        const size_t o = axis == 0 ? (size_t(line) * size_t(m_w) + size_t(i)) : (size_t(i) * size_t(m_w) + size_t(line));
                        for (int c = 0; c < 4; ++c) tmp[o * 4 + size_t(c)] = acc[c] / float(2 * r + 1);
                    }
                }
                buf.swap(tmp);
            }
        }
        for (int y = 0; y < m_h; ++y)
            for (int x = 0; x < m_w; ++x)
                for (int c = 0; c < 4; ++c)
                    data[y * stride + x * 4 + c] = uint8_t(std::clamp(std::lround(buf[(size_t(y) * size_t(m_w) + size_t(x)) * 4 + size_t(c)]), 0L, 255L));
        cairo_surface_mark_dirty(m_surface);
    }

    // The part (x, y, w, h in logical pixels) as a layer: grey + alpha, or
    // full colour for mode 3.
    DrawnLayer layer(double x, double y, double w, double h, int mode) {
        cairo_surface_flush(m_surface);
        const uint8_t* data = cairo_image_surface_get_data(m_surface);
        const int stride = cairo_image_surface_get_stride(m_surface);
        DrawnLayer l;
        const int px = int(std::lround(x * kScale)), py = int(std::lround(y * kScale));
        l.width = std::min(int(std::lround(w * kScale)), m_w - px);
        l.height = std::min(int(std::lround(h * kScale)), m_h - py);
        l.bytesPerPixel = mode == 3 ? 4 : 2;
        l.mode = int16_t(mode);
        l.pixels.resize(size_t(l.width) * size_t(l.height) * size_t(l.bytesPerPixel));
        for (int j = 0; j < l.height; ++j) {
            for (int i = 0; i < l.width; ++i) {
                uint32_t v;
                std::memcpy(&v, data + (py + j) * stride + (px + i) * 4, 4);
                const int a = int(v >> 24), r = int(v >> 16) & 255, g = int(v >> 8) & 255, b = int(v) & 255;
                auto un = [a](int c) { return a ? std::min(255, (c * 255 + a / 2) / a) : 0; };
                uint8_t* o = &l.pixels[(size_t(j) * size_t(l.width) + size_t(i)) * size_t(l.bytesPerPixel)];
                if (l.bytesPerPixel == 2) {
                    o[0] = uint8_t(un((r + g + b) / 3));
                    o[1] = uint8_t(a);
                } else {
                    o[0] = uint8_t(un(r)), o[1] = uint8_t(un(g)), o[2] = uint8_t(un(b)), o[3] = uint8_t(a);
                }
            }
        }
        return l;
    }
    DrawnLayer whole(int mode) { return layer(0, 0, m_w / kScale, m_h / kScale, mode); }

private:
    int m_w, m_h;
    cairo_surface_t* m_surface;
    cairo_t* m_cr;
};

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    r = std::min({r, w / 2, h / 2});
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
    cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
    cairo_arc(cr, x + r, y + r, r, kPi, 3 * kPi / 2);
    cairo_close_path(cr);
}

// The eight border pieces of a box drawn on a 3r x 3r canvas.
void boxPieces(Canvas& c, double r, int mode, int first, std::vector<DrawnImage>* out) {
    const double cells[8][2] = {{0, 0}, {1, 0}, {2, 0}, {2, 1}, {2, 2}, {1, 2}, {0, 2}, {0, 1}};
    for (int k = 0; k < 8; ++k)
        out->push_back({uint32_t(first + k), {c.layer(cells[k][0] * r, cells[k][1] * r, r, r, mode)}});
}

struct Ctx {
    const AssetGroup& g;
    double w, h;
    int mode;
    double num(const char* k, double d) const { return g.num(k, d); }
    std::string str(const char* k) const {
        auto it = g.attrs.find(k);
        return it == g.attrs.end() ? std::string() : it->second;
    }
};

void lineCap(cairo_t* cr, double width) {
    cairo_set_line_width(cr, width);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
}

// Glyph shapes in a unit box (0..1), stroked or filled.
bool drawShape(cairo_t* cr, const std::string& shape, double w, double h) {
    const double s = std::min(w, h);
    const double ox = (w - s) / 2, oy = (h - s) / 2;
    auto P = [&](double x, double y) { return std::pair<double, double>(ox + x * s, oy + y * s); };
    auto moveTo = [&](double x, double y) { auto [a, b] = P(x, y); cairo_move_to(cr, a, b); };
    auto lineTo = [&](double x, double y) { auto [a, b] = P(x, y); cairo_line_to(cr, a, b); };
    auto tri = [&](double x0, double y0, double x1, double y1, double x2, double y2) {
        moveTo(x0, y0), lineTo(x1, y1), lineTo(x2, y2);
        cairo_close_path(cr);
        cairo_fill(cr);
    };
    const double lw = std::max(1.2, s * 0.13);
    lineCap(cr, lw);
    if (shape == "arrow-down") tri(0.1, 0.3, 0.9, 0.3, 0.5, 0.78);
    else if (shape == "arrow-up") tri(0.1, 0.7, 0.9, 0.7, 0.5, 0.22);
    else if (shape == "arrow-left") tri(0.7, 0.1, 0.7, 0.9, 0.22, 0.5);
    else if (shape == "arrow-right") tri(0.3, 0.1, 0.3, 0.9, 0.78, 0.5);
    else if (shape == "marker-right") tri(0.15, 0.05, 0.15, 0.95, 0.9, 0.5);
    else if (shape == "arrow-left-right") tri(0.0, 0.5, 0.42, 0.12, 0.42, 0.88), tri(1.0, 0.5, 0.58, 0.12, 0.58, 0.88);
    else if (shape == "arrow-up-down") tri(0.5, 0.0, 0.1, 0.42, 0.9, 0.42), tri(0.5, 1.0, 0.1, 0.58, 0.9, 0.58);
    else if (shape == "double-arrow-up") tri(0.5, 0.05, 0.1, 0.45, 0.9, 0.45), tri(0.5, 0.5, 0.1, 0.9, 0.9, 0.9);
    else if (shape == "chevron-down" || shape == "chevron-left" || shape == "chevron-right" ||
             shape == "double-chevron-down") {
        auto chevron = [&](double dy) {
            if (shape == "chevron-left") moveTo(0.62, 0.2), lineTo(0.35, 0.5), lineTo(0.62, 0.8);
            else if (shape == "chevron-right") moveTo(0.38, 0.2), lineTo(0.65, 0.5), lineTo(0.38, 0.8);
            else moveTo(0.2, 0.35 + dy), lineTo(0.5, 0.62 + dy), lineTo(0.8, 0.35 + dy);
            cairo_stroke(cr);
        };
        if (shape == "double-chevron-down") chevron(-0.17), chevron(0.13);
        else chevron(0);
    } else if (shape == "close") {
        moveTo(0.22, 0.22), lineTo(0.78, 0.78), moveTo(0.78, 0.22), lineTo(0.22, 0.78);
        cairo_stroke(cr);
    } else if (shape == "cross") {
        moveTo(0.5, 0.05), lineTo(0.5, 0.95), moveTo(0.05, 0.5), lineTo(0.95, 0.5);
        cairo_stroke(cr);
    } else if (shape == "power" || shape == "bypass") {
        auto [cx, cy] = P(0.5, 0.55);
        cairo_arc(cr, cx, cy, s * 0.36, -kPi / 2 + 0.75, -kPi / 2 - 0.75 + 2 * kPi);
        cairo_stroke(cr);
        moveTo(0.5, 0.08), lineTo(0.5, 0.5);
        cairo_stroke(cr);
    } else if (shape == "options") {
        for (double y : {0.25, 0.5, 0.75}) {
            auto [cx, cy] = P(0.5, y);
            cairo_arc(cr, cx, cy, s * 0.09, 0, 2 * kPi);
            cairo_fill(cr);
        }
    } else if (shape == "settings") {
        auto [cx, cy] = P(0.5, 0.5);
        for (int k = 0; k < 8; ++k) {
            const double a = k * kPi / 4;
            cairo_move_to(cr, cx + std::cos(a) * s * 0.28, cy + std::sin(a) * s * 0.28);
            cairo_line_to(cr, cx + std::cos(a) * s * 0.45, cy + std::sin(a) * s * 0.45);
        }
        cairo_stroke(cr);
        cairo_arc(cr, cx, cy, s * 0.28, 0, 2 * kPi);
        cairo_stroke(cr);
    } else if (shape == "undo" || shape == "redo") {
        const bool redo = shape == "redo";
        auto [cx, cy] = P(0.5, 0.58);
        if (redo) cairo_arc(cr, cx, cy, s * 0.3, kPi, 2 * kPi + kPi / 2);
        else cairo_arc_negative(cr, cx, cy, s * 0.3, 0, -kPi - kPi / 2);
        cairo_stroke(cr);
        if (redo) tri(0.92, 0.58, 0.6, 0.58, 0.8, 0.3);
        else tri(0.08, 0.58, 0.4, 0.58, 0.2, 0.3);
    } else if (shape == "window") {
        auto [x0, y0] = P(0.12, 0.18);
        roundedRect(cr, x0, y0, s * 0.76, s * 0.64, s * 0.08);
        cairo_stroke(cr);
        moveTo(0.12, 0.36), lineTo(0.88, 0.36);
        cairo_stroke(cr);
    } else if (shape == "key-cmd" || shape == "key-ctrl") {
        cairo_set_line_width(cr, 1.0);
        roundedRect(cr, 0.5, 0.5, w - 1, h - 1, 2.5);
        cairo_stroke(cr);
        cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
        cairo_set_font_size(cr, h * 0.55);
        const char* text = shape == "key-cmd" ? "\u2318" : "Ctrl";
        cairo_text_extents_t e;
        cairo_text_extents(cr, text, &e);
        cairo_move_to(cr, (w - e.width) / 2 - e.x_bearing, (h - e.height) / 2 - e.y_bearing);
        cairo_show_text(cr, text);
    } else if (shape.rfind("mouse-", 0) == 0) {
        cairo_set_line_width(cr, 1.0);
        roundedRect(cr, 0.5, 0.5, w - 1, h - 1, w * 0.45);
        cairo_stroke(cr);
        cairo_move_to(cr, w / 2, 0.5), cairo_line_to(cr, w / 2, h * 0.42);
        cairo_move_to(cr, 0.5, h * 0.42), cairo_line_to(cr, w - 0.5, h * 0.42);
        cairo_stroke(cr);
        const bool left = shape.find("left") != std::string::npos, right = shape.find("right") != std::string::npos;
        if (left || right) {
            cairo_save(cr);
            roundedRect(cr, 0.5, 0.5, w - 1, h - 1, w * 0.45);
            cairo_clip(cr);
            cairo_rectangle(cr, left ? 0 : w / 2, 0, w / 2, h * 0.42);
            cairo_fill(cr);
            cairo_restore(cr);
        }
        if (shape.find("double") != std::string::npos) {
            cairo_arc(cr, w / 2, h * 0.72, w * 0.12, 0, 2 * kPi);
            cairo_fill(cr);
        }
        if (shape == "mouse-wheel") {
            roundedRect(cr, w / 2 - 1, h * 0.12, 2, h * 0.22, 1);
            cairo_fill(cr);
        }
    } else {
        return false;
    }
    return true;
}

using Recipe = std::function<bool(const Ctx&, std::vector<DrawnImage>*, std::string*)>;

const std::map<std::string, Recipe>& recipes() {
    static const std::map<std::string, Recipe> table = {
        {"box",
         [](const Ctx& x, std::vector<DrawnImage>* out, std::string*) {
             const double r = x.num("r", 4), bw = x.num("border", 1);
             Canvas c(3 * r, 3 * r);
             roundedRect(c.cr(), bw / 2, bw / 2, 3 * r - bw, 3 * r - bw, r - bw / 2);
             c.grey(int(x.num("fill", 128)));
             cairo_fill_preserve(c.cr());
             if (bw > 0) {
                 c.grey(int(x.num("edge", 150)));
                 cairo_set_line_width(c.cr(), bw);
                 cairo_stroke(c.cr());
             }
             cairo_new_path(c.cr());
             boxPieces(c, r, x.mode, x.g.first, out);
             return true;
         }},
        {"shadow",
         [](const Ctx& x, std::vector<DrawnImage>* out, std::string*) {
             const double r = x.num("r", 6), blur = x.num("blur", 4), p = r + blur;
             Canvas c(3 * p, 3 * p);
             roundedRect(c.cr(), blur, blur, 3 * p - 2 * blur, 3 * p - 2 * blur, r);
             c.grey(128, x.num("strength", 0.6));
             cairo_fill(c.cr());
             c.blur(blur);
             boxPieces(c, p, x.mode, x.g.first, out);
             return true;
         }},
        {"glyph",
         [](const Ctx& x, std::vector<DrawnImage>* out, std::string* err) {
             Canvas c(x.w, x.h);
             const double back = x.num("back", -1);
             if (back >= 0) {
                 roundedRect(c.cr(), 0, 0, x.w, x.h, 2.5);
                 c.grey(int(back));
                 cairo_fill(c.cr());
                 cairo_save(c.cr());
                 cairo_translate(c.cr(), x.w * 0.2, x.h * 0.2);
                 c.grey(210);
                 const bool ok = drawShape(c.cr(), x.str("shape"), x.w * 0.6, x.h * 0.6);
                 cairo_restore(c.cr());
                 if (!ok) return *err = "unknown shape '" + x.str("shape") + "'", false;
             } else {
                 c.grey(128);
                 if (!drawShape(c.cr(), x.str("shape"), x.w, x.h))
                     return *err = "unknown shape '" + x.str("shape") + "'", false;
             }
             out->push_back({uint32_t(x.g.first), {c.whole(x.mode)}});
             return true;
         }},
        {"disc",
         [](const Ctx& x, std::vector<DrawnImage>* out, std::string*) {
             const double glow = x.num("glow", 0);
             const double pad = glow > 0 ? 3 : 0;
             Canvas c(x.w + 2 * pad, x.h + 2 * pad);
             const double cx = x.w / 2 + pad, cy = x.h / 2 + pad, rr = std::min(x.w, x.h) / 2;
             if (glow > 0) {
                 cairo_arc(c.cr(), cx, cy, rr + 1.5, 0, 2 * kPi);
                 c.grey(int(x.num("fill", 128)), 0.45);
                 cairo_fill(c.cr());
                 c.blur(2.5);
             }
             cairo_arc(c.cr(), cx, cy, rr - 0.5, 0, 2 * kPi);
             c.grey(int(x.num("fill", 128)));
             cairo_fill_preserve(c.cr());
             c.grey(int(x.num("edge", 160)));
             cairo_set_line_width(c.cr(), 1.0);
             cairo_stroke(c.cr());
             DrawnLayer l = c.whole(x.mode);
             l.originX = l.originY = int(-pad * kScale);
             out->push_back({uint32_t(x.g.first), {std::move(l)}});
             return true;
         }},
        {"disc-shadow",
         [](const Ctx& x, std::vector<DrawnImage>* out, std::string*) {
             Canvas c(x.w, x.h);
             const double b = x.num("blur", 5);
             cairo_arc(c.cr(), x.w / 2, x.h / 2 + 1.5, x.w / 2 - b, 0, 2 * kPi);
             c.grey(128, 0.7);
             cairo_fill(c.cr());
             c.blur(b);
             out->push_back({uint32_t(x.g.first), {c.whole(x.mode)}});
             return true;
         }},
        {"ring",
         [](const Ctx& x, std::vector<DrawnImage>* out, std::string*) {
             Canvas c(x.w, x.h);
             const double lw = x.num("width", 2);
             cairo_arc(c.cr(), x.w / 2, x.h / 2, std::min(x.w, x.h) / 2 - lw / 2, 0, 2 * kPi);
             c.grey(230);
             cairo_set_line_width(c.cr(), lw);
             cairo_stroke(c.cr());
             out->push_back({uint32_t(x.g.first), {c.whole(x.mode)}});
             return true;
         }},
        {"rect",
         [](const Ctx& x, std::vector<DrawnImage>* out, std::string*) {
             Canvas c(x.w, x.h);
             cairo_rectangle(c.cr(), 0, 0, x.w, x.h);
             c.grey(int(x.num("fill", 128)));
             cairo_fill(c.cr());
             out->push_back({uint32_t(x.g.first), {c.whole(x.mode)}});
             return true;
         }},
        {"checkbox",
         [](const Ctx& x, std::vector<DrawnImage>* out, std::string*) {
             const bool hover = x.num("hover", 0) > 0;
             for (int f = 0; f < x.g.frames; ++f) {
                 Canvas c(x.w, x.h);
                 roundedRect(c.cr(), 0.5, 0.5, x.w - 1, x.h - 1, 2.5);
                 c.grey(f ? 128 : 60);
                 cairo_fill_preserve(c.cr());
                 c.grey(hover ? 190 : 150);
                 cairo_set_line_width(c.cr(), 1.0);
                 cairo_stroke(c.cr());
                 if (f) {
                     lineCap(c.cr(), 1.8);
                     cairo_move_to(c.cr(), x.w * 0.24, x.h * 0.52);
                     cairo_line_to(c.cr(), x.w * 0.43, x.h * 0.72);
                     cairo_line_to(c.cr(), x.w * 0.78, x.h * 0.3);
                     c.grey(250);
                     cairo_stroke(c.cr());
                 }
                 out->push_back({uint32_t(x.g.first + f), {c.whole(x.mode)}});
             }
             return true;
         }},
        {"hue",
         [](const Ctx& x, std::vector<DrawnImage>* out, std::string*) {
             Canvas c(x.w, x.h);
             cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, x.w, 0);
             const double stops[7][3] = {{1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 1, 1}, {0, 0, 1}, {1, 0, 1}, {1, 0, 0}};
             for (int k = 0; k < 7; ++k) cairo_pattern_add_color_stop_rgb(p, k / 6.0, stops[k][0], stops[k][1], stops[k][2]);
             roundedRect(c.cr(), 0, 0, x.w, x.h, 2);
             cairo_set_source(c.cr(), p);
             cairo_fill(c.cr());
             cairo_pattern_destroy(p);
             out->push_back({uint32_t(x.g.first), {c.whole(3)}});
             return true;
         }},
        {"meter-bar",
         [](const Ctx& x, std::vector<DrawnImage>* out, std::string*) {
             Canvas c(x.w, x.h);
             const bool horizontal = x.num("horizontal", 0) > 0;
             // Solid with a faint segment pattern every 2 pixels.
             cairo_rectangle(c.cr(), 0, 0, x.w, x.h);
             c.grey(128);
             cairo_fill(c.cr());
             for (double p = 1.5; p < (horizontal ? x.w : x.h); p += 2) {
                 if (horizontal) cairo_rectangle(c.cr(), p, 0, 0.5, x.h);
                 else cairo_rectangle(c.cr(), 0, p, x.w, 0.5);
             }
             c.grey(100);
             cairo_fill(c.cr());
             out->push_back({uint32_t(x.g.first), {c.whole(x.mode)}});
             return true;
         }},
        {"noise",
         [](const Ctx& x, std::vector<DrawnImage>* out, std::string*) {
             Canvas c(x.w, x.h);
             DrawnLayer l = c.whole(x.mode);
             std::mt19937 rng(20261206u);
             std::uniform_int_distribution<int> d(0, 255);
             for (size_t i = 0; i < l.pixels.size(); i += 2) {
                 l.pixels[i] = uint8_t(d(rng));
                 l.pixels[i + 1] = 24;
             }
             out->push_back({uint32_t(x.g.first), {std::move(l)}});
             return true;
         }},
        {"grip",
         [](const Ctx& x, std::vector<DrawnImage>* out, std::string*) {
             Canvas c(x.w, x.h);
             c.grey(x.num("hover", 0) > 0 ? 200 : 140);
             lineCap(c.cr(), 1.0);
             for (int k = 0; k < 3; ++k) {
                 const double o = 3.0 + k * 3.5;
                 cairo_move_to(c.cr(), x.w - 1.5, x.h - o - 1);
                 cairo_line_to(c.cr(), x.w - o - 1, x.h - 1.5);
             }
             cairo_stroke(c.cr());
             out->push_back({uint32_t(x.g.first), {c.whole(x.mode)}});
             return true;
         }},
        {"logo",
         [](const Ctx& x, std::vector<DrawnImage>* out, std::string*) {
             // The maker's mark: a rounded square with two strokes, and the
             // name beside it.
             Canvas c(x.w, x.h);
             cairo_t* cr = c.cr();
             const double s = x.h;
             roundedRect(cr, 0.5, 0.5, s - 1, s - 1, s * 0.22);
             cairo_set_source_rgb(cr, 0.23, 0.56, 0.58);
             cairo_fill(cr);
             lineCap(cr, s * 0.12);
             cairo_set_source_rgb(cr, 0.93, 0.95, 0.96);
             cairo_move_to(cr, s * 0.33, s * 0.24), cairo_line_to(cr, s * 0.33, s * 0.76);
             cairo_move_to(cr, s * 0.72, s * 0.24), cairo_line_to(cr, s * 0.42, s * 0.5), cairo_line_to(cr, s * 0.72, s * 0.76);
             cairo_stroke(cr);
             cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
             cairo_set_font_size(cr, s * 0.62);
             cairo_text_extents_t e;
             cairo_text_extents(cr, "kelvane", &e);
             cairo_set_source_rgb(cr, 0.82, 0.86, 0.9);
             cairo_move_to(cr, s * 1.25 - e.x_bearing, (s - e.height) / 2 - e.y_bearing);
             cairo_show_text(cr, "kelvane");
             out->push_back({uint32_t(x.g.first), {c.whole(3)}});
             return true;
         }},
    };
    return table;
}

// Knobs: a 270 degree travel starting at the lower left.
constexpr double kKnobStart = kPi * 0.75, kKnobTravel = kPi * 1.5;

void knobTrack(cairo_t* cr, double cx, double cy, double r, double to, int grey, double width) {
    lineCap(cr, width);
    cairo_arc(cr, cx, cy, r, kKnobStart, kKnobStart + kKnobTravel * to);
    cairo_set_source_rgb(cr, grey / 255.0, grey / 255.0, grey / 255.0);
    cairo_stroke(cr);
}

void pointer(cairo_t* cr, double cx, double cy, double r0, double r1, double pos, int grey, double width) {
    const double a = kKnobStart + kKnobTravel * pos;
    lineCap(cr, width);
    cairo_move_to(cr, cx + std::cos(a) * r0, cy + std::sin(a) * r0);
    cairo_line_to(cr, cx + std::cos(a) * r1, cy + std::sin(a) * r1);
    cairo_set_source_rgb(cr, grey / 255.0, grey / 255.0, grey / 255.0);
    cairo_stroke(cr);
}

bool knobRecipe(const Ctx& x, std::vector<DrawnImage>* out) {
    const std::string& kind = x.g.recipe;
    const double cx = x.w / 2, cy = x.h / 2, R = std::min(x.w, x.h) / 2;
    const double track = R * 0.86, cap = R * 0.64;
    for (int f = 0; f < x.g.frames; ++f) {
        const double pos = x.g.frames > 1 ? double(f) / (x.g.frames - 1) : 0.0;
        Canvas c(x.w, x.h);
        cairo_t* cr = c.cr();
        if (kind == "knob-base") {
            cairo_arc(cr, cx, cy, cap + 2.5, 0, 2 * kPi);
            c.grey(70);
            cairo_fill(cr);
        } else if (kind == "knob-bg") {
            knobTrack(cr, cx, cy, track, 1.0, 64, R * 0.1);
        } else if (kind == "knob-cap") {
            cairo_arc(cr, cx, cy, cap, 0, 2 * kPi);
            c.grey(x.num("hover", 0) > 0 ? 150 : 128);
            cairo_fill_preserve(cr);
            c.grey(x.num("hover", 0) > 0 ? 176 : 150);
            cairo_set_line_width(cr, 1.0);
            cairo_stroke(cr);
        } else if (kind == "knob-hairlines") {
            for (int k = 0; k <= 10; ++k) pointer(cr, cx, cy, R * 0.95, R * 1.0, k / 10.0, 128, 0.8);
        } else if (kind == "knob-indicator") {
            pointer(cr, cx, cy, cap * 0.35, cap * 0.9, pos, 128, 2.2);
        } else if (kind == "knob-led") {
            if (f > 0) knobTrack(cr, cx, cy, track, pos, 128, R * 0.1);
        } else if (kind == "knob-strip") {
            knobTrack(cr, cx, cy, track, 1.0, 64, R * 0.1);
            if (f > 0) knobTrack(cr, cx, cy, track, pos, 200, R * 0.1);
            cairo_arc(cr, cx, cy, cap, 0, 2 * kPi);
            c.grey(128);
            cairo_fill(cr);
            pointer(cr, cx, cy, cap * 0.35, cap * 0.9, pos, 235, 2.0);
        } else {
            return false;
        }
        out->push_back({uint32_t(x.g.first + f), {c.whole(x.mode)}});
    }
    return true;
}
}  // namespace

bool drawGroup(const AssetGroup& g, std::vector<DrawnImage>* out, std::string* error) {
    Ctx x{g, g.num("w", 10), g.num("h", 10), g.mode};
    const size_t before = out->size();
    bool ok;
    if (g.recipe.rfind("knob-", 0) == 0) {
        ok = knobRecipe(x, out);
        if (!ok) *error = "unknown recipe '" + g.recipe + "'";
    } else {
        auto it = recipes().find(g.recipe);
        if (it == recipes().end()) {
            *error = "unknown recipe '" + g.recipe + "'";
            return false;
        }
        ok = it->second(x, out, error);
    }
    if (ok && int(out->size() - before) != (g.recipe == "box" || g.recipe == "shadow" ? 8 : g.frames)) {
        *error = "recipe '" + g.recipe + "' drew " + std::to_string(out->size() - before) + " images";
        return false;
    }
    for (size_t i = before; i < out->size(); ++i)
        for (DrawnLayer& l : (*out)[i].layers) trimLayer(l);
    return ok;
}
