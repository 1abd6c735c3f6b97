#pragma once
// The parameter table of a limiter algorithm: one row per slot, in slot
// order, naming the slot, the member of the algorithm's Params it sets and
// how a received slot value is read (real as is; integer rounded half away
// from zero and limited; switch on at 0.5 and above).
//
// Each algorithm lists its parameters once, in `Params::table()`. Everything
// else is derived from that list: reading Params from slot values
// (`limReadParams`), the module's slot names, and each slot's fallback while
// it is unbound (the member's default in Params, so the two cannot differ).
// The definitions bind the slots by index; a test checks that the product's
// definitions name the slots in the table's order.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>

// A received integer parameter: rounded half away from zero, limited to lo ... hi.
inline int limParamInt(double v, int lo, int hi) {
    const double r = std::round(v);
    if (!(r >= lo)) return lo;
    return r > hi ? hi : static_cast<int>(r);
}

// A received switch parameter: on at 0.5 and above.
inline bool limParamSwitch(double v) { return v >= 0.5; }

template <class P>
struct CLimParam {
    enum class Kind : uint8_t { Real, Int, Switch };

    const char* name = "";
    Kind kind = Kind::Real;
    double P::*real = nullptr;
    int P::*integer = nullptr;
    bool P::*flag = nullptr;
    int lo = 0, hi = 0;

    // Sets the member from a received slot value.
    void set(P& p, double v) const {
        switch (kind) {
            case Kind::Real: p.*real = v; break;
            case Kind::Int: p.*integer = limParamInt(v, lo, hi); break;
            case Kind::Switch: p.*flag = limParamSwitch(v); break;
        }
    }

    // The member's value as a slot value.
    double get(const P& p) const {
        switch (kind) {
            case Kind::Int: return double(p.*integer);
            case Kind::Switch: return (p.*flag) ? 1.0 : 0.0;
            case Kind::Real: break;
        }
        return p.*real;
    }

    // The slot's value while it is unbound: the member's default.
    double fallback() const {
        static const P defaults{};
        return get(defaults);
    }
};

template <class P>
constexpr CLimParam<P> limReal(const char* name, double P::*member) {
    return {name, CLimParam<P>::Kind::Real, member, nullptr, nullptr, 0, 0};
}

template <class P>
constexpr CLimParam<P> limInt(const char* name, int P::*member, int lo, int hi) {
    return {name, CLimParam<P>::Kind::Int, nullptr, member, nullptr, lo, hi};
}

template <class P>
constexpr CLimParam<P> limSwitch(const char* name, bool P::*member) {
    return {name, CLimParam<P>::Kind::Switch, nullptr, nullptr, member, 0, 0};
}

// Params from the raw slot values in table order; slots past the end of
// `values` keep their default.
template <class P, std::size_t N>
P limReadParams(const CLimParam<P> (&table)[N], std::span<const double> values) {
    P p;
    const std::size_t n = values.size() < N ? values.size() : N;
    for (std::size_t i = 0; i < n; ++i) table[i].set(p, values[i]);
    return p;
}
