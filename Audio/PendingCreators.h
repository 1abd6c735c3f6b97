#pragma once
// Stand-in creator rows for tags that the product definitions use but whose
// classes are not in the build yet, so that "SharedData.xml" loads and its
// links and switch lists resolve while those classes are being written.
//
// A module tag ("audio:mod...") stands in as a module definition whose module
// passes its input port 0 on to every output port and declares the
// parameters written under it; any other tag stands in as a plain object.
// A stand-in is added only for a tag that the table does not register: as
// soon as the real row is in the table, the stand-in is dropped. The list
// shrinks to nothing as the classes arrive, and then this file goes.

#include <span>
#include <vector>

#include "Audio/ProcessTerminal.h"
#include "Core/Object.h"

// The tags that may stand in.
std::span<const char* const> kelPendingTags();

// Appends a stand-in row for every pending tag that `table` does not register.
void kelAppendPendingRows(std::vector<CreatorRow>* table);

// True when a row is a stand-in made by kelAppendPendingRows.
bool kelIsPendingRow(const CreatorRow& row);

// The module of a stand-in module definition.
class CPendingModule : public CAudioProcessTerminalBase {
public:
    void process(int) override {}
    int outputPortCount() const override { return 2; }
    const double* outputChannel(int port, int ch) const override;
};

using CPendingModuleDef = CModDefT<CPendingModule>;
