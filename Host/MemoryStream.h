#pragma once
// A byte stream in memory for state chunks: reads from the start of what it
// holds, writes at the position (growing as needed).

#include <cstdint>
#include <vector>

#include "pluginterfaces/base/ibstream.h"

namespace host {

class CMemoryStream : public Steinberg::IBStream {
public:
    CMemoryStream() = default;
    explicit CMemoryStream(std::vector<uint8_t> data) : m_data(std::move(data)) {}
    const std::vector<uint8_t>& data() const { return m_data; }

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }
    Steinberg::tresult PLUGIN_API read(void* buffer, Steinberg::int32 numBytes, Steinberg::int32* numBytesRead) override;
    Steinberg::tresult PLUGIN_API write(void* buffer, Steinberg::int32 numBytes,
                                        Steinberg::int32* numBytesWritten) override;
    Steinberg::tresult PLUGIN_API seek(Steinberg::int64 pos, Steinberg::int32 mode, Steinberg::int64* result) override;
    Steinberg::tresult PLUGIN_API tell(Steinberg::int64* pos) override;

private:
    std::vector<uint8_t> m_data;
    size_t m_pos = 0;
};

}  // namespace host
