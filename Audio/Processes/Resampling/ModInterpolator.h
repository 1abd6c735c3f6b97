#pragma once
// The 2x stages of the resamplers, without parameters or latency of their own.
//
// CModInterpolator (audio:modInterpolator): y[2n] = 2 x[n], y[2n+1] = 0; the
// output block is twice as long and runs at twice the rate (the zeros are
// written; the low-pass after it removes the images).
//
// CModDecimator (audio:modDecimator): y[n] = x[2n]; the output block is half
// as long and runs at half the rate. The even/odd phase carries over between
// blocks, so blocks of odd length lose nothing.

#include "Audio/Graph/ProcessTerminal.h"

class CModInterpolator : public CAudioProcessTerminalBase {
public:
    double maxOutputRate(double maxInputRate) const override { return 2.0 * maxInputRate; }
    double rateFactor() const override { return 2.0; }
    int outputFrames(int inputFrames) const override { return 2 * inputFrames; }
    void process(int frames) override;

    // The straightforward form on one channel (out holds 2 * frames).
    static void interpolate(const double* in, double* out, int frames);
};

class CModDecimator : public CAudioProcessTerminalBase {
public:
    double maxOutputRate(double maxInputRate) const override { return 0.5 * maxInputRate; }
    double rateFactor() const override { return 0.5; }
    // Outputs of a block of inputFrames starting at the current phase (after
    // process(): of the block just run).
    int outputFrames(int inputFrames) const override;
    void process(int frames) override;
    void reset() override { m_phase = 0; m_lastPhase = 0; }

private:
    int m_phase = 0;      // 1: the next input sample is an odd one
    int m_lastPhase = 0;  // the phase at the start of the last block
    int m_lastFrames = -1;
};

using CModInterpolatorDef = CModDefT<CModInterpolator>;
using CModDecimatorDef = CModDefT<CModDecimator>;
