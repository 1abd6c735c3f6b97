#pragma once
// The transforms and spectrum products, written once over a small set of
// vector operations. Each build's translation unit defines its operations
// (scalar, SSE2, AVX2 + FMA) and instantiates Kernels<Ops> with them.
//
// Everything here sits in an unnamed namespace on purpose: every build gets
// its own copy, compiled with its own instruction set, and the linker can
// never merge one build's copy into another build's callers.
//
// An operations type provides: V (the vector), W (doubles per vector), load,
// store (unaligned), set1, add, sub, mul, mulAdd (a*b+c), mulSub (a*b-c),
// negMulAdd (c-a*b), neg, reverse (lane order), loadPairs / storePairs
// (W interleaved (re, im) pairs <-> two vectors) and storeTransposed (four
// vectors y0..y3 written so that lane l goes to p[4l .. 4l+3]).
//
// Real transform of N = 2M points: the even and odd samples form M complex
// points z; a complex transform Z of M points runs as radix-4 Stockham
// passes (natural order in and out, alternating between two split re/im
// buffers), the last two as one radix-8 pass when log2 M is odd (a radix-2
// pass for the smallest sizes); the split pass then
// forms X[k] = E[k] + w^k O[k] with E, O the spectra of the even and odd
// samples, bins k and M-k together. The inverse runs the same steps
// backwards, using IFFT(Z) = conj(FFT(conj Z)). The first pass reads the
// interleaved input itself and the inverse's last pass writes the
// interleaved output, so neither needs a pass of its own.

#include <cstddef>

#include "Audio/Vector/VecInternal.h"

namespace vecbuild {
namespace {

struct VecOpsScalar {
    using V = double;
    static constexpr size_t W = 1;
    static V load(const double* p) { return *p; }
    static void store(double* p, V v) { *p = v; }
    static V set1(double x) { return x; }
    static V add(V a, V b) { return a + b; }
    static V sub(V a, V b) { return a - b; }
    static V mul(V a, V b) { return a * b; }
    static V mulAdd(V a, V b, V c) { return a * b + c; }
    static V mulSub(V a, V b, V c) { return a * b - c; }
    static V negMulAdd(V a, V b, V c) { return c - a * b; }
    static V neg(V a) { return -a; }
    static V reverse(V a) { return a; }
    static void loadPairs(const double* p, V& re, V& im) {
        re = p[0];
        im = p[1];
    }
    static void storePairs(double* p, V re, V im) {
        p[0] = re;
        p[1] = im;
    }
    static void storeTransposed(double* p, V y0, V y1, V y2, V y3) {
        p[0] = y0;
        p[1] = y1;
        p[2] = y2;
        p[3] = y3;
    }
};

template <class T>
struct Kernels {
    using V = typename T::V;
    static constexpr size_t W = T::W;
    using Scalar = Kernels<VecOpsScalar>;

    // One radix-4 butterfly: outputs y0 = a+b+c+d and the twiddled others.
    struct Quad {
        V r0, i0, r1, i1, r2, i2, r3, i3;
    };

    static inline void butterfly(V ar, V ai, V br, V bi, V cr, V ci, V dr, V di, Quad& y) {
        const V t0r = T::add(ar, cr), t0i = T::add(ai, ci);
        const V t1r = T::sub(ar, cr), t1i = T::sub(ai, ci);
        const V t2r = T::add(br, dr), t2i = T::add(bi, di);
        const V t3r = T::sub(br, dr), t3i = T::sub(bi, di);
        y.r0 = T::add(t0r, t2r);
        y.i0 = T::add(t0i, t2i);
        y.r2 = T::sub(t0r, t2r);
        y.i2 = T::sub(t0i, t2i);
        y.r1 = T::add(t1r, t3i);  // t1 - i t3
        y.i1 = T::sub(t1i, t3r);
        y.r3 = T::sub(t1r, t3i);  // t1 + i t3
        y.i3 = T::add(t1i, t3r);
    }

    static inline void twiddle(V& r, V& i, V wr, V wi) {
        const V nr = T::mulSub(r, wr, T::mul(i, wi));
        i = T::mulAdd(r, wi, T::mul(i, wr));
        r = nr;
    }

    static inline void twiddleAll(Quad& y, const V* w) {
        twiddle(y.r1, y.i1, w[0], w[1]);
        twiddle(y.r2, y.i2, w[2], w[3]);
        twiddle(y.r3, y.i3, w[4], w[5]);
    }

    // Radix-4 pass of size n at stride s >= W, vectorised over q.
    static void pass4(size_t n, size_t s, const double* xr, const double* xi, double* yr, double* yi,
                      const double* tw) {
        const size_t m = n / 4, sm = s * m;
        for (size_t p = 0; p < m; ++p) {
            const V w[6] = {T::set1(tw[p]),         T::set1(tw[m + p]),     T::set1(tw[2 * m + p]),
                            T::set1(tw[3 * m + p]), T::set1(tw[4 * m + p]), T::set1(tw[5 * m + p])};
            const double* ar = xr + s * p;
            const double* ai = xi + s * p;
            double* orr = yr + 4 * s * p;
            double* oi = yi + 4 * s * p;
            for (size_t q = 0; q < s; q += W) {
                Quad y;
                butterfly(T::load(ar + q), T::load(ai + q), T::load(ar + sm + q), T::load(ai + sm + q),
                          T::load(ar + 2 * sm + q), T::load(ai + 2 * sm + q), T::load(ar + 3 * sm + q),
                          T::load(ai + 3 * sm + q), y);
                twiddleAll(y, w);
                T::store(orr + q, y.r0);
                T::store(oi + q, y.i0);
                T::store(orr + s + q, y.r1);
                T::store(oi + s + q, y.i1);
                T::store(orr + 2 * s + q, y.r2);
                T::store(oi + 2 * s + q, y.i2);
                T::store(orr + 3 * s + q, y.r3);
                T::store(oi + 3 * s + q, y.i3);
            }
        }
    }

    // Complex points i .. i+W-1, from split arrays or, fused with the
    // deinterleaving of a real input, from interleaved (re, im) pairs at xr.
    template <bool Interleaved>
    static inline void loadPoints(const double* xr, const double* xi, size_t i, V& re, V& im) {
        if constexpr (Interleaved) {
            T::loadPairs(xr + 2 * i, re, im);
        } else {
            re = T::load(xr + i);
            im = T::load(xi + i);
        }
    }

    // Stores points i .. i+W-1 to split arrays or, fused with the last step
    // of the inverse, conjugated as interleaved pairs at yr.
    template <bool Interleaved>
    static inline void storePoints(double* yr, double* yi, size_t i, V re, V im) {
        if constexpr (Interleaved) {
            T::storePairs(yr + 2 * i, re, T::neg(im));
        } else {
            T::store(yr + i, re);
            T::store(yi + i, im);
        }
    }

    // First radix-4 pass (s = 1, n/4 >= W), vectorised over p: the four
    // outputs of W butterflies are transposed into place.
    template <bool Interleaved>
    static void pass4First(size_t n, const double* xr, const double* xi, double* yr, double* yi,
                           const double* tw) {
        const size_t m = n / 4;
        for (size_t p = 0; p < m; p += W) {
            const V w[6] = {T::load(tw + p),         T::load(tw + m + p),     T::load(tw + 2 * m + p),
                            T::load(tw + 3 * m + p), T::load(tw + 4 * m + p), T::load(tw + 5 * m + p)};
            V ar, ai, br, bi, cr, ci, dr, di;
            loadPoints<Interleaved>(xr, xi, p, ar, ai);
            loadPoints<Interleaved>(xr, xi, p + m, br, bi);
            loadPoints<Interleaved>(xr, xi, p + 2 * m, cr, ci);
            loadPoints<Interleaved>(xr, xi, p + 3 * m, dr, di);
            Quad y;
            butterfly(ar, ai, br, bi, cr, ci, dr, di, y);
            twiddleAll(y, w);
            T::storeTransposed(yr + 4 * p, y.r0, y.r1, y.r2, y.r3);
            T::storeTransposed(yi + 4 * p, y.i0, y.i1, y.i2, y.i3);
        }
    }

    // Last radix-4 pass (n = 4): no twiddles.
    template <bool Interleaved>
    static void pass4Last(size_t s, const double* xr, const double* xi, double* yr, double* yi) {
        for (size_t q = 0; q < s; q += W) {
            Quad y;
            butterfly(T::load(xr + q), T::load(xi + q), T::load(xr + s + q), T::load(xi + s + q),
                      T::load(xr + 2 * s + q), T::load(xi + 2 * s + q), T::load(xr + 3 * s + q),
                      T::load(xi + 3 * s + q), y);
            storePoints<Interleaved>(yr, yi, q, y.r0, y.i0);
            storePoints<Interleaved>(yr, yi, s + q, y.r1, y.i1);
            storePoints<Interleaved>(yr, yi, 2 * s + q, y.r2, y.i2);
            storePoints<Interleaved>(yr, yi, 3 * s + q, y.r3, y.i3);
        }
    }

    // Last two passes (n = 8) as one radix-8 pass at stride s >= W, no
    // outer twiddles: y[q + s k] = sum over j of x[q + s j] e^(-2 pi i jk / 8),
    // as two radix-4 butterflies on the even and odd points and a radix-2
    // step with the eighth roots. One pass over the data instead of two.
    template <bool Interleaved>
    static void pass8Last(size_t s, const double* xr, const double* xi, double* yr, double* yi) {
        const V c = T::set1(0.70710678118654752440);  // 1 / sqrt(2)
        for (size_t q = 0; q < s; q += W) {
            Quad e, o;
            butterfly(T::load(xr + q), T::load(xi + q), T::load(xr + 2 * s + q), T::load(xi + 2 * s + q),
                      T::load(xr + 4 * s + q), T::load(xi + 4 * s + q), T::load(xr + 6 * s + q),
                      T::load(xi + 6 * s + q), e);
            butterfly(T::load(xr + s + q), T::load(xi + s + q), T::load(xr + 3 * s + q), T::load(xi + 3 * s + q),
                      T::load(xr + 5 * s + q), T::load(xi + 5 * s + q), T::load(xr + 7 * s + q),
                      T::load(xi + 7 * s + q), o);
            // w^k O_k with w = e^(-i pi / 4): (1 - i) / sqrt 2, -i, (-1 - i) / sqrt 2.
            const V t1r = T::mul(T::add(o.r1, o.i1), c), t1i = T::mul(T::sub(o.i1, o.r1), c);
            const V t2r = o.i2, t2i = T::neg(o.r2);
            const V t3r = T::mul(T::sub(o.i3, o.r3), c), t3i = T::neg(T::mul(T::add(o.r3, o.i3), c));
            storePoints<Interleaved>(yr, yi, q, T::add(e.r0, o.r0), T::add(e.i0, o.i0));
            storePoints<Interleaved>(yr, yi, s + q, T::add(e.r1, t1r), T::add(e.i1, t1i));
            storePoints<Interleaved>(yr, yi, 2 * s + q, T::add(e.r2, t2r), T::add(e.i2, t2i));
            storePoints<Interleaved>(yr, yi, 3 * s + q, T::add(e.r3, t3r), T::add(e.i3, t3i));
            storePoints<Interleaved>(yr, yi, 4 * s + q, T::sub(e.r0, o.r0), T::sub(e.i0, o.i0));
            storePoints<Interleaved>(yr, yi, 5 * s + q, T::sub(e.r1, t1r), T::sub(e.i1, t1i));
            storePoints<Interleaved>(yr, yi, 6 * s + q, T::sub(e.r2, t2r), T::sub(e.i2, t2i));
            storePoints<Interleaved>(yr, yi, 7 * s + q, T::sub(e.r3, t3r), T::sub(e.i3, t3i));
        }
    }

    // Last radix-2 pass (n = 2) at stride s.
    template <bool Interleaved>
    static void pass2Last(size_t s, const double* xr, const double* xi, double* yr, double* yi) {
        for (size_t q = 0; q < s; q += W) {
            const V ar = T::load(xr + q), ai = T::load(xi + q);
            const V br = T::load(xr + s + q), bi = T::load(xi + s + q);
            storePoints<Interleaved>(yr, yi, q, T::add(ar, br), T::add(ai, bi));
            storePoints<Interleaved>(yr, yi, s + q, T::sub(ar, br), T::sub(ai, bi));
        }
    }

    enum Where { InA, InB, InDst };

    // Complex forward transform of M points held in a, or read from the
    // interleaved pairs at src when src is given; b is the other buffer.
    // When dst is given, the last pass may write the result there directly,
    // conjugated and interleaved (the inverse's last step). Returns where the
    // result is.
    static Where complexForward(const CVecFFTPlan& sp, const double* src, double* ar, double* ai, double* br,
                                double* bi, double* dst) {
        size_t n = sp.half, s = 1;
        const bool fuseInput = src && n > 4 && n / 4 >= W;
        if (src && !fuseInput) deinterleave(src, ar, ai, n);
        double *xr = ar, *xi = ai, *yr = br, *yi = bi;
        Where where = InA;
        for (int pass = 0; n >= 4; ++pass, n /= 4, s *= 4) {
            if (n == 8 && s >= W && !(fuseInput && s == 1)) {
                if (dst) {
                    pass8Last<true>(s, xr, xi, dst, nullptr);
                    return InDst;
                }
                pass8Last<false>(s, xr, xi, yr, yi);
                return where == InA ? InB : InA;
            }
            if (n == 4) {
                if (s < W) {
                    Scalar::template pass4Last<false>(s, xr, xi, yr, yi);
                } else if (dst) {
                    pass4Last<true>(s, xr, xi, dst, nullptr);
                    return InDst;
                } else {
                    pass4Last<false>(s, xr, xi, yr, yi);
                }
            } else if (s == 1) {
                if (fuseInput)
                    pass4First<true>(n, src, nullptr, yr, yi, sp.passTwiddles[pass]);
                else if (n / 4 >= W)
                    pass4First<false>(n, xr, xi, yr, yi, sp.passTwiddles[pass]);
                else
                    Scalar::pass4(n, 1, xr, xi, yr, yi, sp.passTwiddles[pass]);
            } else {
                pass4(n, s, xr, xi, yr, yi, sp.passTwiddles[pass]);
            }
            swapBuffers(xr, xi, yr, yi);
            where = where == InA ? InB : InA;
        }
        if (n == 2) {
            if (s < W) {
                Scalar::template pass2Last<false>(s, xr, xi, yr, yi);
            } else if (dst) {
                pass2Last<true>(s, xr, xi, dst, nullptr);
                return InDst;
            } else {
                pass2Last<false>(s, xr, xi, yr, yi);
            }
            where = where == InA ? InB : InA;
        }
        return where;
    }

    static void deinterleave(const double* src, double* re, double* im, size_t count) {
        size_t k = 0;
        for (; k + W <= count; k += W) {
            V r, i;
            T::loadPairs(src + 2 * k, r, i);
            T::store(re + k, r);
            T::store(im + k, i);
        }
        for (; k < count; ++k) {
            re[k] = src[2 * k];
            im[k] = src[2 * k + 1];
        }
    }

    static inline void swapBuffers(double*& xr, double*& xi, double*& yr, double*& yi) {
        double* t = xr;
        xr = yr;
        yr = t;
        t = xi;
        xi = yi;
        yi = t;
    }

    // ---------------------------------------------------------------- real

    // Split: the spectrum in the split layout (VecKernels.h), the same values.
    template <bool Split = false>
    static int forward(const double* src, double* dst, const CVecFFTPlan* plan, void* work) {
        if (!src || !dst || !plan || !work) return kVecErrNullPtr;
        const CVecFFTPlan& sp = *plan;
        const size_t M = sp.half;
        if (M == 1) {
            const double x0 = src[0], x1 = src[1];
            dst[0] = (x0 + x1) * sp.fwdScale;
            dst[1] = (x0 - x1) * sp.fwdScale;
            return kVecOk;
        }
        double* w = vecAlignUp(work);
        double *ar = w, *ai = w + M, *br = w + 2 * M, *bi = w + 3 * M;
        const Where where = complexForward(sp, src, ar, ai, br, bi, nullptr);
        splitForward<Split>(sp, where == InB ? br : ar, where == InB ? bi : ai, dst);
        return kVecOk;
    }

    // X[k] = E + P and X[M-k] = conj(E - P) with P = w^k O,
    // E = (Z[k] + conj Z[M-k]) / 2, O = (Z[k] - conj Z[M-k]) / 2i: each k
    // below M/2 yields its bin and the mirrored one.
    template <bool Split>
    static void splitForward(const CVecFFTPlan& sp, const double* zr, const double* zi, double* dst) {
        const size_t M = sp.half, H = M / 2;
        // Bin k's parts: packed at dst[2k], dst[2k + 1]; split at re[k], im[k].
        double* re = dst + 1;
        double* im = dst + 1 + (M - 1);
        const double fs = sp.fwdScale, h = 0.5 * fs;
        const double* cs = sp.splitCos;
        const double* sn = sp.splitSin;
        dst[0] = (zr[0] + zi[0]) * fs;
        dst[1] = (zr[0] - zi[0]) * fs;
        if constexpr (Split) {
            re[H] = zr[H] * fs;  // w^(M/2) = -i: X[M/2] = conj Z[M/2]
            im[H] = -zi[H] * fs;
        } else {
            dst[2 * H] = zr[H] * fs;
            dst[2 * H + 1] = -zi[H] * fs;
        }
        const V hv = T::set1(h);
        size_t k = 1;
        for (; k + W <= H; k += W) {
            const size_t j = M - k - W + 1;  // mirrored block, lanes reversed
            const V a = T::load(zr + k), b = T::load(zi + k);
            const V c = T::reverse(T::load(zr + j)), d = T::reverse(T::load(zi + j));
            const V er = T::mul(T::add(a, c), hv), ei = T::mul(T::sub(b, d), hv);
            const V orr = T::mul(T::add(b, d), hv), oi = T::mul(T::sub(c, a), hv);
            const V c0 = T::load(cs + k), s0 = T::load(sn + k);  // w^k = c0 - i s0
            const V pr = T::mulAdd(c0, orr, T::mul(s0, oi));
            const V pi = T::negMulAdd(s0, orr, T::mul(c0, oi));
            if constexpr (Split) {
                T::store(re + k, T::add(er, pr));
                T::store(im + k, T::add(ei, pi));
                T::store(re + j, T::reverse(T::sub(er, pr)));
                T::store(im + j, T::reverse(T::sub(pi, ei)));
            } else {
                T::storePairs(dst + 2 * k, T::add(er, pr), T::add(ei, pi));
                T::storePairs(dst + 2 * j, T::reverse(T::sub(er, pr)), T::reverse(T::sub(pi, ei)));
            }
        }
        for (; k < H; ++k) {
            const size_t j = M - k;
            const double a = zr[k], b = zi[k], c = zr[j], d = zi[j];
            const double er = (a + c) * h, ei = (b - d) * h, orr = (b + d) * h, oi = (c - a) * h;
            const double pr = cs[k] * orr + sn[k] * oi, pi = cs[k] * oi - sn[k] * orr;
            if constexpr (Split) {
                re[k] = er + pr;
                im[k] = ei + pi;
                re[j] = er - pr;
                im[j] = pi - ei;
            } else {
                dst[2 * k] = er + pr;
                dst[2 * k + 1] = ei + pi;
                dst[2 * j] = er - pr;
                dst[2 * j + 1] = pi - ei;
            }
        }
    }

    // Split: the spectrum read in the split layout.
    template <bool Split = false>
    static int inverse(const double* src, double* dst, const CVecFFTPlan* plan, void* work) {
        if (!src || !dst || !plan || !work) return kVecErrNullPtr;
        const CVecFFTPlan& sp = *plan;
        const size_t M = sp.half;
        if (M == 1) {
            const double x0 = src[0], x1 = src[1];
            dst[0] = (x0 + x1) * sp.invScale;
            dst[1] = (x0 - x1) * sp.invScale;
            return kVecOk;
        }
        double* w = vecAlignUp(work);
        double *ar = w, *ai = w + M, *br = w + 2 * M, *bi = w + 3 * M;

        splitInverse<Split>(sp, src, ar, ai);
        const Where where = complexForward(sp, nullptr, ar, ai, br, bi, dst);
        if (where == InDst) return kVecOk;
        const double* zr = where == InB ? br : ar;
        const double* zi = where == InB ? bi : ai;
        size_t k = 0;
        for (; k + W <= M; k += W) storePoints<true>(dst, nullptr, k, T::load(zr + k), T::load(zi + k));
        for (; k < M; ++k) {
            dst[2 * k] = zr[k];
            dst[2 * k + 1] = -zi[k];
        }
        return kVecOk;
    }

    // conj(Z) scaled, with Z[k] = E + i O and Z[M-k] = conj(E) + i conj(O),
    // E = X[k] + conj X[M-k], O = conj(w^k) (X[k] - conj X[M-k]) (twice the
    // true values: the complex transform of M points then yields N times the
    // samples).
    template <bool Split>
    static void splitInverse(const CVecFFTPlan& sp, const double* src, double* ar, double* ai) {
        const size_t M = sp.half, H = M / 2;
        const double* re = src + 1;
        const double* im = src + 1 + (M - 1);
        const double g = sp.invScale;
        const double* cs = sp.splitCos;
        const double* sn = sp.splitSin;
        ar[0] = (src[0] + src[1]) * g;
        ai[0] = (src[1] - src[0]) * g;
        ar[H] = 2.0 * (Split ? re[H] : src[2 * H]) * g;  // conj(w^(M/2)) = i
        ai[H] = 2.0 * (Split ? im[H] : src[2 * H + 1]) * g;
        const V gv = T::set1(g), ng = T::set1(-g);
        size_t k = 1;
        for (; k + W <= H; k += W) {
            const size_t j = M - k - W + 1;  // mirrored block, lanes reversed
            V xr, xi, mr, mi;
            if constexpr (Split) {
                xr = T::load(re + k);
                xi = T::load(im + k);
                mr = T::load(re + j);
                mi = T::load(im + j);
            } else {
                T::loadPairs(src + 2 * k, xr, xi);
                T::loadPairs(src + 2 * j, mr, mi);
            }
            mr = T::reverse(mr);
            mi = T::reverse(mi);
            const V er = T::add(xr, mr), ei = T::sub(xi, mi);
            const V dr = T::sub(xr, mr), di = T::add(xi, mi);
            const V c0 = T::load(cs + k), s0 = T::load(sn + k);
            const V orr = T::mulSub(c0, dr, T::mul(s0, di));
            const V oi = T::mulAdd(c0, di, T::mul(s0, dr));
            T::store(ar + k, T::mul(T::sub(er, oi), gv));
            T::store(ai + k, T::mul(T::add(ei, orr), ng));
            T::store(ar + j, T::reverse(T::mul(T::add(er, oi), gv)));
            T::store(ai + j, T::reverse(T::mul(T::sub(ei, orr), gv)));
        }
        for (; k < H; ++k) {
            const size_t j = M - k;
            const double xr = Split ? re[k] : src[2 * k], xi = Split ? im[k] : src[2 * k + 1];
            const double mr = Split ? re[j] : src[2 * j], mi = Split ? im[j] : src[2 * j + 1];
            const double er = xr + mr, ei = xi - mi, dr = xr - mr, di = xi + mi;
            const double orr = cs[k] * dr - sn[k] * di, oi = cs[k] * di + sn[k] * dr;
            ar[k] = (er - oi) * g;
            ai[k] = -(ei + orr) * g;
            ar[j] = (er + oi) * g;
            ai[j] = (ei - orr) * g;
        }
    }

    // ------------------------------------------------------------ products

    // The real bins in front (0, and 1 for even lengths): returns where the
    // complex pairs start. Kept out of line, so that every caller runs the
    // very same instructions on them.
    template <bool Accumulate>
    [[gnu::noinline]] static size_t headPacked(const double* a, const double* b, double* d, size_t n) {
        size_t i = 1;
        d[0] = Accumulate ? d[0] + a[0] * b[0] : a[0] * b[0];
        if ((n & 1) == 0) {
            d[1] = Accumulate ? d[1] + a[1] * b[1] : a[1] * b[1];
            i = 2;
        }
        return i;
    }
    // The complex pairs from i on, one at a time (out of line, as above).
    template <bool Accumulate>
    [[gnu::noinline]] static void tailPacked(const double* a, const double* b, double* d, size_t i, size_t n) {
        for (; i + 2 <= n; i += 2) {
            const double ar = a[i], ai = a[i + 1], br = b[i], bi = b[i + 1];
            double yr = ar * br - ai * bi, yi = ar * bi + ai * br;
            if constexpr (Accumulate) {
                yr += d[i];
                yi += d[i + 1];
            }
            d[i] = yr;
            d[i + 1] = yi;
        }
    }

    template <bool Accumulate>
    static int productPacked(const double* a, const double* b, double* d, int len) {
        if (!a || !b || !d) return kVecErrNullPtr;
        if (len < 1) return kVecErrSize;
        const size_t n = size_t(len);
        size_t i = headPacked<Accumulate>(a, b, d, n);
        for (; i + 2 * W <= n; i += 2 * W) {
            V ar, ai, br, bi;
            T::loadPairs(a + i, ar, ai);
            T::loadPairs(b + i, br, bi);
            V yr, yi;
            if constexpr (Accumulate) {
                V cr, ci;
                T::loadPairs(d + i, cr, ci);
                yr = T::mulSub(ar, br, T::mulSub(ai, bi, cr));
                yi = T::mulAdd(ar, bi, T::mulAdd(ai, br, ci));
            } else {
                yr = T::mulSub(ar, br, T::mul(ai, bi));
                yi = T::mulAdd(ar, bi, T::mul(ai, br));
            }
            T::storePairs(d + i, yr, yi);
        }
        tailPacked<Accumulate>(a, b, d, i, n);
        return kVecOk;
    }

    static int mulPacked(const double* a, const double* b, double* d, int len) {
        return productPacked<false>(a, b, d, len);
    }

    // The four vectors of outputs at p: sums over t < taps of rev[t] p[t + i],
    // each tap broadcast once to all of them.
    static void tapSums(const double* rev, int taps, const double* p, V& a0, V& a1, V& a2, V& a3) {
        a0 = a1 = a2 = a3 = T::set1(0.0);
        for (int t = 0; t < taps; ++t, ++p) {
            const V h = T::set1(rev[t]);
            a0 = T::mulAdd(h, T::load(p), a0);
            a1 = T::mulAdd(h, T::load(p + W), a1);
            a2 = T::mulAdd(h, T::load(p + 2 * W), a2);
            a3 = T::mulAdd(h, T::load(p + 3 * W), a3);
        }
    }

    // out[n] (+)= sum over t < taps of rev[t] x[n + t], n < count: a FIR with
    // its taps reversed, x holding count + taps - 1 samples. Four vectors of
    // outputs at a time, each tap broadcast once to all of them.
    static int correlate(const double* rev, int taps, const double* x, double* out, int count, int accumulate) {
        if (!rev || !x || !out) return kVecErrNullPtr;
        if (taps < 1 || count < 1) return kVecErrSize;
        constexpr size_t W = T::W;
        const size_t n4 = size_t(count) / (4 * W) * (4 * W);
        for (size_t n = 0; n < n4; n += 4 * W) {
            V a0, a1, a2, a3;
            tapSums(rev, taps, x + n, a0, a1, a2, a3);
            if (accumulate) {
                a0 = T::add(a0, T::load(out + n));
                a1 = T::add(a1, T::load(out + n + W));
                a2 = T::add(a2, T::load(out + n + 2 * W));
                a3 = T::add(a3, T::load(out + n + 3 * W));
            }
            T::store(out + n, a0);
            T::store(out + n + W, a1);
            T::store(out + n + 2 * W, a2);
            T::store(out + n + 3 * W, a3);
        }
        for (size_t n = n4; n < size_t(count); ++n) {
            double s = 0.0;
            for (int t = 0; t < taps; ++t) s += rev[t] * x[n + size_t(t)];
            out[n] = accumulate ? out[n] + s : s;
        }
        return kVecOk;
    }

    // Two correlations (as correlate) over count outputs in one pass, their
    // results combined per output: interleaved (out[2n] = first, out[2n+1] =
    // second) or summed (out[n] = second + first). Each sum runs exactly as
    // in correlate, so the results are those of two correlate calls followed
    // by the interleaving or the accumulating call.
    template <bool Interleave>
    static void correlateTwo(const double* rev0, int taps0, const double* x0, const double* rev1, int taps1,
                             const double* x1, double* out, int count) {
        const size_t n4 = size_t(count) / (4 * W) * (4 * W);
        for (size_t n = 0; n < n4; n += 4 * W) {
            V a0, a1, a2, a3, b0, b1, b2, b3;
            tapSums(rev0, taps0, x0 + n, a0, a1, a2, a3);
            tapSums(rev1, taps1, x1 + n, b0, b1, b2, b3);
            if constexpr (Interleave) {
                T::storePairs(out + 2 * n, a0, b0);
                T::storePairs(out + 2 * (n + W), a1, b1);
                T::storePairs(out + 2 * (n + 2 * W), a2, b2);
                T::storePairs(out + 2 * (n + 3 * W), a3, b3);
            } else {
                T::store(out + n, T::add(b0, a0));
                T::store(out + n + W, T::add(b1, a1));
                T::store(out + n + 2 * W, T::add(b2, a2));
                T::store(out + n + 3 * W, T::add(b3, a3));
            }
        }
        for (size_t n = n4; n < size_t(count); ++n) {
            double s0 = 0.0, s1 = 0.0;
            for (int t = 0; t < taps0; ++t) s0 += rev0[t] * x0[n + size_t(t)];
            for (int t = 0; t < taps1; ++t) s1 += rev1[t] * x1[n + size_t(t)];
            if constexpr (Interleave) {
                out[2 * n] = s0;
                out[2 * n + 1] = s1;
            } else {
                out[n] = s1 + s0;
            }
        }
    }
    static int correlatePair(const double* rev0, int taps0, const double* x0, const double* rev1, int taps1,
                             const double* x1, double* out, int count, int interleave) {
        if (!rev0 || !x0 || !rev1 || !x1 || !out) return kVecErrNullPtr;
        if (taps0 < 1 || taps1 < 1 || count < 1) return kVecErrSize;
        if (interleave)
            correlateTwo<true>(rev0, taps0, x0, rev1, taps1, x1, out, count);
        else
            correlateTwo<false>(rev0, taps0, x0, rev1, taps1, x1, out, count);
        return kVecOk;
    }

    // dst[2i] = a[i], dst[2i+1] = b[i] for i < n, and back: plain copies.
    static int interleave(const double* a, const double* b, double* dst, int n) {
        if (!a || !b || !dst) return kVecErrNullPtr;
        size_t i = 0;
        for (; i + W <= size_t(n); i += W) T::storePairs(dst + 2 * i, T::load(a + i), T::load(b + i));
        for (; i < size_t(n); ++i) {
            dst[2 * i] = a[i];
            dst[2 * i + 1] = b[i];
        }
        return kVecOk;
    }
    static int deinterleave2(const double* src, double* a, double* b, int n) {
        if (!src || !a || !b) return kVecErrNullPtr;
        if (n > 0) deinterleave(src, a, b, size_t(n));
        return kVecOk;
    }

    static int mulAddPacked(const double* a, const double* b, double* d, int len) {
        return productPacked<true>(a, b, d, len);
    }

    // d = a[0] b[0] + ... + a[count-1] b[count-1] (or d += that): per bin the
    // very operations of mulPacked on the first pair (mulAddPacked with
    // accumulate) and mulAddPacked on each further one, in order, with the
    // running sum kept in registers instead of stored and reloaded.
    static int mulSumPacked(const double* const* a, const double* const* b, int count, double* d, int len,
                            int accumulate) {
        if (!a || !b || !d) return kVecErrNullPtr;
        if (len < 1 || count < 1) return kVecErrSize;
        for (int k = 0; k < count; ++k)
            if (!a[k] || !b[k]) return kVecErrNullPtr;
        const size_t n = size_t(len);
        // The bins in front and the pairs after the vectors are few: pair
        // after pair through the helpers of productPacked.
        const size_t first = accumulate ? headPacked<true>(a[0], b[0], d, n) : headPacked<false>(a[0], b[0], d, n);
        for (int k = 1; k < count; ++k) headPacked<true>(a[k], b[k], d, n);
        size_t i = first;
        for (; i + 2 * W <= n; i += 2 * W) {
            V ar, ai, br, bi, yr, yi;
            T::loadPairs(a[0] + i, ar, ai);
            T::loadPairs(b[0] + i, br, bi);
            if (accumulate) {
                V cr, ci;
                T::loadPairs(d + i, cr, ci);
                yr = T::mulSub(ar, br, T::mulSub(ai, bi, cr));
                yi = T::mulAdd(ar, bi, T::mulAdd(ai, br, ci));
            } else {
                yr = T::mulSub(ar, br, T::mul(ai, bi));
                yi = T::mulAdd(ar, bi, T::mul(ai, br));
            }
            for (int k = 1; k < count; ++k) {
                T::loadPairs(a[k] + i, ar, ai);
                T::loadPairs(b[k] + i, br, bi);
                const V cr = yr, ci = yi;
                yr = T::mulSub(ar, br, T::mulSub(ai, bi, cr));
                yi = T::mulAdd(ar, bi, T::mulAdd(ai, br, ci));
            }
            T::storePairs(d + i, yr, yi);
        }
        if (i < n) {
            if (accumulate)
                tailPacked<true>(a[0], b[0], d, i, n);
            else
                tailPacked<false>(a[0], b[0], d, i, n);
            for (int k = 1; k < count; ++k) tailPacked<true>(a[k], b[k], d, i, n);
        }
        return kVecOk;
    }

    // mulSumPacked over spectra in the split layout (even lengths): the same
    // operations on every bin, so the same results, without taking the
    // pairs apart for every product. The bins the packed form runs through
    // its vectors run through vectors here too (the first W * floor(P / W)
    // of the P pairs), the rest pair by pair through its helper.
    // Packed <-> split layout (even lengths), W pairs at a time.
    static int packedToSplit(const double* src, double* dst, int len) {
        const size_t pairs = size_t(len) / 2 - 1;
        dst[0] = src[0];
        dst[1] = src[1];
        size_t p = 0;
        for (; p + W <= pairs; p += W) {
            V re, im;
            T::loadPairs(src + 2 + 2 * p, re, im);
            T::store(dst + 2 + p, re);
            T::store(dst + 2 + pairs + p, im);
        }
        for (; p < pairs; ++p) {
            dst[2 + p] = src[2 + 2 * p];
            dst[2 + pairs + p] = src[3 + 2 * p];
        }
        return kVecOk;
    }
    static int splitToPacked(const double* src, double* dst, int len) {
        const size_t pairs = size_t(len) / 2 - 1;
        dst[0] = src[0];
        dst[1] = src[1];
        size_t p = 0;
        for (; p + W <= pairs; p += W) T::storePairs(dst + 2 + 2 * p, T::load(src + 2 + p), T::load(src + 2 + pairs + p));
        for (; p < pairs; ++p) {
            dst[2 + 2 * p] = src[2 + p];
            dst[3 + 2 * p] = src[2 + pairs + p];
        }
        return kVecOk;
    }

    static int mulSumSplit(const double* const* a, const double* const* b, int count, double* d, int len,
                           int accumulate) {
        if (!a || !b || !d) return kVecErrNullPtr;
        if (len < 2 || (len & 1) || count < 1) return kVecErrSize;
        for (int k = 0; k < count; ++k)
            if (!a[k] || !b[k]) return kVecErrNullPtr;
        const size_t n = size_t(len);
        if (accumulate)
            headPacked<true>(a[0], b[0], d, n);
        else
            headPacked<false>(a[0], b[0], d, n);
        for (int k = 1; k < count; ++k) headPacked<true>(a[k], b[k], d, n);
        const size_t pairs = n / 2 - 1;
        const size_t vecPairs = pairs / W * W;
        double* dr = d + 2;
        double* di = d + 2 + pairs;
        // Four vectors of bins at a time, their sums in registers: each
        // bin's sum is a chain of dependent multiply-adds, so four chains
        // keep the multipliers busy.
        auto start = [&](size_t at, V& yr, V& yi) {
            const V ar = T::load(a[0] + 2 + at), ai = T::load(a[0] + 2 + pairs + at);
            const V br = T::load(b[0] + 2 + at), bi = T::load(b[0] + 2 + pairs + at);
            if (accumulate) {
                yr = T::mulSub(ar, br, T::mulSub(ai, bi, T::load(dr + at)));
                yi = T::mulAdd(ar, bi, T::mulAdd(ai, br, T::load(di + at)));
            } else {
                yr = T::mulSub(ar, br, T::mul(ai, bi));
                yi = T::mulAdd(ar, bi, T::mul(ai, br));
            }
        };
        auto step = [&](int k, size_t at, V& yr, V& yi) {
            const V ar = T::load(a[k] + 2 + at), ai = T::load(a[k] + 2 + pairs + at);
            const V br = T::load(b[k] + 2 + at), bi = T::load(b[k] + 2 + pairs + at);
            const V cr = yr, ci = yi;
            yr = T::mulSub(ar, br, T::mulSub(ai, bi, cr));
            yi = T::mulAdd(ar, bi, T::mulAdd(ai, br, ci));
        };
        size_t j = 0;
        for (; j + 4 * W <= vecPairs; j += 4 * W) {
            V r0, i0, r1, i1, r2, i2, r3, i3;
            start(j, r0, i0);
            start(j + W, r1, i1);
            start(j + 2 * W, r2, i2);
            start(j + 3 * W, r3, i3);
            for (int k = 1; k < count; ++k) {
                step(k, j, r0, i0);
                step(k, j + W, r1, i1);
                step(k, j + 2 * W, r2, i2);
                step(k, j + 3 * W, r3, i3);
            }
            T::store(dr + j, r0);
            T::store(di + j, i0);
            T::store(dr + j + W, r1);
            T::store(di + j + W, i1);
            T::store(dr + j + 2 * W, r2);
            T::store(di + j + 2 * W, i2);
            T::store(dr + j + 3 * W, r3);
            T::store(di + j + 3 * W, i3);
        }
        for (; j < vecPairs; j += W) {
            V yr, yi;
            start(j, yr, yi);
            for (int k = 1; k < count; ++k) step(k, j, yr, yi);
            T::store(dr + j, yr);
            T::store(di + j, yi);
        }
        // The last pairs through the packed form's own helper, so they get
        // its very instructions.
        const size_t rest = pairs - vecPairs;
        if (rest) {
            double ta[2 * W], tb[2 * W], td[2 * W];
            for (size_t p = 0; p < rest; ++p) {
                td[2 * p] = dr[vecPairs + p];
                td[2 * p + 1] = di[vecPairs + p];
            }
            for (int k = 0; k < count; ++k) {
                for (size_t p = 0; p < rest; ++p) {
                    ta[2 * p] = a[k][2 + vecPairs + p];
                    ta[2 * p + 1] = a[k][2 + pairs + vecPairs + p];
                    tb[2 * p] = b[k][2 + vecPairs + p];
                    tb[2 * p + 1] = b[k][2 + pairs + vecPairs + p];
                }
                if (k == 0 && !accumulate)
                    tailPacked<false>(ta, tb, td, 0, 2 * rest);
                else
                    tailPacked<true>(ta, tb, td, 0, 2 * rest);
            }
            for (size_t p = 0; p < rest; ++p) {
                dr[vecPairs + p] = td[2 * p];
                di[vecPairs + p] = td[2 * p + 1];
            }
        }
        return kVecOk;
    }
};

}  // namespace
}  // namespace vecbuild
