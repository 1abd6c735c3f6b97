#pragma once
// CModNode (audio:modNode): passes its input on unchanged; a tap and link
// point of the graph. CModOutput (audio:modOutput): the terminal that receives
// the main process's output for the plug-in core. Both hand out their input
// buffers as their output (no copy).

#include "Audio/Graph/ProcessBase.h"
#include "Audio/Graph/ProcessDef.h"

class CModNode : public CAudioProcessBase {
public:
    void process(int) override {}
    const double* outputChannel(int port, int ch) const override;
    int outputPortCount() const override { return 1; }
};

class CModNodeDef : public CAudioProcessDefBaseInit {
public:
    std::unique_ptr<CAudioProcessBase> createProcess() const override;
};

class CModOutput : public CModNode {};

class CModOutputDef : public CAudioProcessDefBaseInit {
public:
    std::unique_ptr<CAudioProcessBase> createProcess() const override;
};
