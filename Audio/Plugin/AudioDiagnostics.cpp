#include "Audio/Plugin/AudioDiagnostics.h"

#include <atomic>
#include <cstdarg>
#include <cstring>

#include "Core/Log.h"
#include "Core/Object.h"

namespace {
constexpr int kSlots = 64;
constexpr int kTextLen = 160;
constexpr int kNameLen = 160;

struct Slot {
    char text[kTextLen];
    char name[kNameLen];
};

// Several producers are possible (more than one plug-in instance); a slot is
// claimed with an atomic ticket and published with a ready flag.
struct Ring {
    Slot slots[kSlots];
    std::atomic<bool> ready[kSlots];
    std::atomic<uint32_t> head{0};  // next ticket to write
    uint32_t tail = 0;              // next ticket to read (main thread)
};

Ring& ring() {
    static Ring r;
    return r;
}

void push(const char* text, const CObject* subject) {
    Ring& r = ring();
    uint32_t t = r.head.load(std::memory_order_relaxed);
    do {
        if (t - r.tail >= uint32_t(kSlots)) return;  // full: drop
    } while (!r.head.compare_exchange_weak(t, t + 1, std::memory_order_acq_rel));
    Slot& s = r.slots[t % kSlots];
    std::strncpy(s.text, text, kTextLen - 1);
    s.text[kTextLen - 1] = 0;
    s.name[0] = 0;
    if (subject) {
        // Full names are composed from the object's ancestors without allocating.
        const CObject* chain[32];
        int n = 0;
        for (const CObject* o = subject; o && o->parent() && n < 32; o = o->parent()) chain[n++] = o;
        size_t pos = 0;
        for (int i = n - 1; i >= 0; --i) {
            const CString& nm = chain[i]->name();
            if (nm.empty()) continue;
            if (pos && pos + 1 < kNameLen) s.name[pos++] = '.';
            for (size_t k = 0; k < nm.length() && pos + 1 < kNameLen; ++k) {
                char16_t c = nm.at(k);
                s.name[pos++] = c < 128 ? char(c) : '?';
            }
        }
        s.name[pos] = 0;
    }
    r.ready[t % kSlots].store(true, std::memory_order_release);
}
}  // namespace

void kelAudioDiagnostic(const char* text, const CObject* subject) { push(text, subject); }

void kelAudioDiagnosticf(const CObject* subject, const char* fmt, ...) {
    char buf[kTextLen];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    push(buf, subject);
}

int kelFlushAudioDiagnostics() {
    Ring& r = ring();
    int n = 0;
    while (r.tail != r.head.load(std::memory_order_acquire)) {
        const uint32_t idx = r.tail % kSlots;
        if (!r.ready[idx].load(std::memory_order_acquire)) break;  // still being written
        kelLogf("%s // %s", r.slots[idx].text, r.slots[idx].name);
        r.ready[idx].store(false, std::memory_order_relaxed);
        ++r.tail;
        ++n;
    }
    return n;
}
