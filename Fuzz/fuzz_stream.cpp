// Typed reads and strings over arbitrary bytes. The input is a program: each
// step reads an operation byte from the stream and then the value it names.
// Properties: the memory reader and a plain stream (the base class's skip and
// streamed read) agree step by step; every value written back gives the bytes
// it was read from; strings survive a write and a read.
#include <cstring>

#include "Core/MemoryReader.h"
#include "Core/MemoryWriter.h"
#include "Fuzz/FuzzSupport.h"

namespace {
struct Step {
    std::string message;  // error text, or empty
    std::vector<uint8_t> value;
    bool operator==(const Step&) const = default;
};

template <class T, class Read, class Write>
Step typed(CInputStream& in, Read read, Write write) {
    T v{};
    Step s;
    if (CError e = (in.*read)(&v)) {
        s.message = e.message().utf8();
        return s;
    }
    CMemoryWriter w;
    FUZZ_CHECK(!(w.*write)(v));
    s.value.assign(w.bytes().begin(), w.bytes().end());
    return s;
}

Step string(CInputStream& in) {
    CString str;
    Step s;
    if (CError e = in.readString(&str)) {
        s.message = e.message().utf8();
        return s;
    }
    CMemoryWriter w;
    FUZZ_CHECK(!w.writeString(str));
    s.value.assign(w.bytes().begin(), w.bytes().end());
    CMemoryReader r(w.data(), w.size());
    CString back;
    CError e = r.readString(&back);
    if (w.size() - 4 > kMaxStreamString) {
        // Re-encoding may grow (characters beyond U+10FFFF become two).
        FUZZ_CHECK(e);
    } else {
        FUZZ_CHECK(!e && back == str && r.remaining() == 0);
    }
    return s;
}

Step step(CInputStream& in, uint8_t op) {
    switch (op % 10) {
        case 0: return typed<uint8_t>(in, &CInputStream::readU8, &COutputStream::writeU8);
        case 1: return typed<uint16_t>(in, &CInputStream::readU16, &COutputStream::writeU16);
        case 2: return typed<uint32_t>(in, &CInputStream::readU32, &COutputStream::writeU32);
        case 3: return typed<uint64_t>(in, &CInputStream::readU64, &COutputStream::writeU64);
        case 4: return typed<int32_t>(in, &CInputStream::readI32, &COutputStream::writeI32);
        case 5: return typed<float>(in, &CInputStream::readF32, &COutputStream::writeF32);
        case 6: return typed<double>(in, &CInputStream::readF64, &COutputStream::writeF64);
        case 7: return string(in);
        case 8: {
            Step s;
            // The two readers word a failed skip differently.
            if (CError e = in.skip(op / 10u)) s.message = "skip failed";
            return s;
        }
        default: {
            Step s;
            const uint8_t* p = nullptr;
            if (CError e = in.readStreamed(&p, op * 7u)) {
                s.message = "streamed read failed";
            } else {
                s.value.assign(p, p + op * 7u);
            }
            return s;
        }
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CMemoryReader mem(data, size);
    CMemoryReader behind(data, size);
    CPlainReader plain(behind);
    for (;;) {
        uint8_t op = 0;
        if (mem.readU8(&op)) break;
        FUZZ_CHECK(!plain.readU8(&op));
        const size_t at = mem.position();
        const Step a = step(mem, op);
        const Step b = step(plain, op);
        FUZZ_CHECK(a == b);
        if (!a.message.empty()) break;
        FUZZ_CHECK(mem.position() == behind.position());
        // Typed values write back to the bytes they came from.
        if (op % 10 <= 6) FUZZ_CHECK(std::memcmp(a.value.data(), data + at, a.value.size()) == 0);
    }
    return 0;
}
