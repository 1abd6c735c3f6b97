#pragma once
// Pumps this thread's run loop until every editor's client connector has
// finished two more delivery runs than when called (so whatever the base sent
// before the call has arrived), or until `limit` has passed. Editors is a range
// of pointers to records with a `connector` (may be null) that has
// deliveryRuns().

#include <chrono>
#include <cstdint>
#include <thread>
#include <utility>
#include <vector>

#include "Platform/Thread.h"

template <class Editors>
void pumpDeliveries(const Editors& editors, std::chrono::seconds limit) {
    std::vector<std::pair<decltype(editors.front()->connector), uint64_t>> waiting;
    for (auto& e : editors)
        if (e->connector) waiting.emplace_back(e->connector, e->connector->deliveryRuns() + 2);
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        plat::pumpRunLoop();
        bool done = true;
        for (auto [c, target] : waiting) done = done && c->deliveryRuns() >= target;
        if (done || std::chrono::steady_clock::now() > end) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}
