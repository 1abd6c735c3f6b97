#pragma once
// The system's stream interfaces over a host's IBStream. Reads and writes go
// straight to the host stream and always report success: damaged or foreign
// data surfaces through the checks of the compressed block read from it.
// A short read leaves zeros in the rest of the buffer.

#include "Core/Stream.h"
#include "pluginterfaces/base/ibstream.h"

class CInputStreamVST : public CInputStream {
public:
    explicit CInputStreamVST(Steinberg::IBStream* stream) : m_stream(stream) {}
    CError read(void* buffer, size_t count) override;

private:
    Steinberg::IBStream* m_stream;
};

class COutputStreamVST : public COutputStream {
public:
    explicit COutputStreamVST(Steinberg::IBStream* stream) : m_stream(stream) {}
    CError write(const void* buffer, size_t count) override;

private:
    Steinberg::IBStream* m_stream;
};
