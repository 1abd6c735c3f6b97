#pragma once
// The product's DC filter designs as a generator array: index 0 the
// first-order high-pass, then soft (Bessel) and steep (Butterworth) high-passes
// of orders 2 to 6, each a serial list of base generators with their "adjust"
// multipliers for freq, gain and Q.

#include <vector>

#include "Audio/Filters/FilterDesign.h"

namespace dc_filters {

inline const CFilterGenSetup kHP1 = {CFilterGenSetup::kLPHP1, 1, false};
inline const CFilterGenSetup kHP2 = {CFilterGenSetup::kRBJ, kRBJHighPass, true};

inline CFilterSerialItem hp1(std::vector<double> adjust = {}) { return {kHP1, std::move(adjust)}; }
inline CFilterSerialItem hp2(std::vector<double> adjust) { return {kHP2, std::move(adjust)}; }

struct Design {
    const char* name;
    int order;
    bool butterworth;
};

inline const Design kDesigns[11] = {
    {"-6 dB/oct", 1, true},   {"-12 soft", 2, false}, {"-12 steep", 2, true}, {"-18 soft", 3, false},
    {"-18 steep", 3, true},   {"-24 soft", 4, false}, {"-24 steep", 4, true}, {"-30 soft", 5, false},
    {"-30 steep", 5, true},   {"-36 soft", 6, false}, {"-36 steep", 6, true},
};

inline std::vector<CFilterArrayItem> array() {
    return {
        {0, {hp1()}},
        {1, {hp2({0.78740157, 1.0, 0.82025173})}},
        {2, {hp2({1.0, 1.0, 1.0})}},
        {3, {hp1({0.7575758}), hp2({0.689655, 1.0, 0.975816716})}},
        {4, {hp1({1.0}), hp2({1.0, 1.0, 1.4142271})}},
        {5, {hp2({0.625, 1.0, 1.14552397}), hp2({0.69930, 1.0, 0.7353981})}},
        {6, {hp2({1.0, 1.0, 0.7636826}), hp2({1.0, 1.0, 1.8526375})}},
        {7, {hp1({0.666667}), hp2({0.5681818, 1.0, 1.30108895}), hp2({0.641025641, 1.0, 0.7919672})}},
        {8, {hp1({1.0}), hp2({1.0, 1.0, 0.8768208}), hp2({1.0, 1.0, 2.29104794})}},
        {9,
         {hp2({0.5263158, 1.0, 1.442511667}), hp2({0.591715976, 1.0, 0.8626785}), hp2({0.625, 1.0, 0.7212558})}},
        {10, {hp2({1.0, 1.0, 0.7353981}), hp2({1.0, 1.0, 1.0}), hp2({1.0, 1.0, 2.729458351})}},
    };
}

}  // namespace dc_filters
