#pragma once
// The shared "audio" definitions the filter modules use, built in code as
// the product declares them: converters ("real", "time"), the generators of
// "flt" (base high-passes, FIR generators, the ten serial DC-filter designs),
// the arrays of "fltarray" ("firlp", "firlim", "dcfilters") and the five
// resampling nodes with their parameters. Header-only, for the tests and the
// benchmarks.

#include <initializer_list>
#include <string>
#include <utility>

#include "Core/Object.h"

namespace shared_audio {

using Attrs = std::initializer_list<std::pair<const char*, std::string>>;

inline CObject* add(CObject* parent, const char* tag, const char* name, Attrs attrs = {}) {
    std::unique_ptr<CObject> o = createObject(tag);
    o->setName(name);
    for (const auto& [k, v] : attrs) (void)o->setAttr(k, v.c_str(), false);
    CObject* raw = o.get();
    parent->attachChild(std::move(o));
    return raw;
}

// A numeric parameter declaration.
inline void param(CObject* parent, const char* name, const char* cvt, const char* lo, const char* hi, std::string def) {
    add(parent, "audio:param", name,
        {{"converter", std::string("shared::audio.paramcvt.") + cvt}, {"min-values", lo}, {"max-values", hi},
         {"def-values", std::move(def)}});
}

// One FIR stage of the resamplers: parameters and slots in the product's order.
inline void firStage(CObject* audio, const char* name, const char* lengthMs, const char* freq, const char* beta) {
    CObject* m = add(audio, "audio:modFilterFIR", name,
                     {{"gen-array", "shared::audio.fltarray.firlp"}, {"is-zero-latency", "false"},
                      {"is-smooth-update", "true"}, {"xfade-length", "0.015"}});
    param(m, "count", "real", "0", "16", "0");
    param(m, "index", "real", "0", "16", "0");
    param(m, "latency", "real", "0", "14", "7");
    param(m, "fixsr", "real", "0", "1", "1");
    param(m, "length", "time", "0.1", "500", lengthMs);
    param(m, "freq", "real", "20", "22050", freq);
    param(m, "beta", "real", "1", "100", beta);
    const char* names[7] = {"count", "index", "latency", "fixsr", "length", "freq", "beta"};
    for (int i = 0; i < 7; ++i)
        add(m, "audio:param-alloc", "", {{"index", std::to_string(i)}, {"param-name", names[i]}});
}

inline void serial(CObject* flt, const char* name, std::initializer_list<std::pair<const char*, const char*>> items) {
    CObject* s = add(flt, "audio:fltgen-serial", name);
    for (const auto& [gen, adjust] : items)
        add(s, "audio:fltgen-serial-item", "", {{"fltgen", std::string("shared::audio.flt.") + gen}, {"adjust", adjust}});
}

// Adds "audio" under the shared object and initialises it.
inline CError addSharedAudio(CObject* shared) {
    auto holder = createObject("core:object");
    holder->setName("audio");
    CObject* audio = holder.get();
    shared->attachChild(std::move(holder));

    CObject* cvt = add(audio, "core:object", "paramcvt");
    add(cvt, "audio:cvt-real", "real");
    add(cvt, "audio:cvt-time", "time", {{"scale", "0.001"}});

    CObject* flt = add(audio, "core:object", "flt");
    add(flt, "audio:fltgen-lphp1", "hp1", {{"type", "1"}});
    add(flt, "audio:fltgen-rbj", "hp2_rbj_q", {{"type", "1"}, {"is-q", "true"}});
    add(flt, "audio:fltgen-firlp", "firlp");
    for (int i = 0; i < 3; ++i)
        add(flt, "audio:fltgen-firlim", ("firlim" + std::to_string(i + 1)).c_str(), {{"type", std::to_string(i)}});
    serial(flt, "hp2_bessel", {{"hp2_rbj_q", "0.78740157,1.0,0.82025173"}});
    serial(flt, "hp2_bworth", {{"hp2_rbj_q", "1.0,1.0,1.0"}});
    serial(flt, "hp3_bessel", {{"hp1", "0.7575758"}, {"hp2_rbj_q", "0.689655,1.0,0.975816716"}});
    serial(flt, "hp3_bworth", {{"hp1", "1.0"}, {"hp2_rbj_q", "1.0,1.0,1.4142271"}});
    serial(flt, "hp4_bessel", {{"hp2_rbj_q", "0.625,1.0,1.14552397"}, {"hp2_rbj_q", "0.69930,1.0,0.7353981"}});
    serial(flt, "hp4_bworth", {{"hp2_rbj_q", "1.0,1.0,0.7636826"}, {"hp2_rbj_q", "1.0,1.0,1.8526375"}});
    serial(flt, "hp5_bessel",
           {{"hp1", "0.666667"}, {"hp2_rbj_q", "0.5681818,1.0,1.30108895"}, {"hp2_rbj_q", "0.641025641,1.0,0.7919672"}});
    serial(flt, "hp5_bworth", {{"hp1", "1.0"}, {"hp2_rbj_q", "1.0,1.0,0.8768208"}, {"hp2_rbj_q", "1.0,1.0,2.29104794"}});
    serial(flt, "hp6_bessel",
           {{"hp2_rbj_q", "0.5263158,1.0,1.442511667"}, {"hp2_rbj_q", "0.591715976,1.0,0.8626785"},
            {"hp2_rbj_q", "0.625,1.0,0.7212558"}});
    serial(flt, "hp6_bworth",
           {{"hp2_rbj_q", "1.0,1.0,0.7353981"}, {"hp2_rbj_q", "1.0,1.0,1.0"}, {"hp2_rbj_q", "1.0,1.0,2.729458351"}});

    CObject* arrays = add(audio, "core:object", "fltarray");
    CObject* firlp = add(arrays, "audio:fltgen-array", "firlp");
    add(firlp, "audio:fltgen-array-item", "", {{"index", "0"}, {"fltgen", "shared::audio.flt.firlp"}});
    CObject* firlim = add(arrays, "audio:fltgen-array", "firlim");
    for (int i = 0; i < 3; ++i)
        add(firlim, "audio:fltgen-array-item", "",
            {{"index", std::to_string(i)}, {"fltgen", "shared::audio.flt.firlim" + std::to_string(i + 1)}});
    CObject* dc = add(arrays, "audio:fltgen-array", "dcfilters");
    const char* designs[11] = {"hp1",        "hp2_bessel", "hp2_bworth", "hp3_bessel", "hp3_bworth", "hp4_bessel",
                               "hp4_bworth", "hp5_bessel", "hp5_bworth", "hp6_bessel", "hp6_bworth"};
    for (int i = 0; i < 11; ++i)
        add(dc, "audio:fltgen-array-item", "",
            {{"index", std::to_string(i)}, {"fltgen", std::string("shared::audio.flt.") + designs[i]}});

    add(audio, "audio:modInterpolator", "modUpsamplerInterpolator");
    add(audio, "audio:modDecimator", "modDownsamplerDecimator");
    firStage(audio, "modUpsamplerFilterSteep", "8", "10650", "16");
    firStage(audio, "modDownsamplerFilterSteep", "23", "11000", "16");
    firStage(audio, "modResamplerFilterSoft", "0.81", "10200", "16.3");
    return audio->initTree();
}

}  // namespace shared_audio
