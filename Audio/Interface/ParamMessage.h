#pragma once
// Messages of the parameter interface: the base (audio side) and the client
// (user-interface side) exchange self-contained byte buffers. A message is
// the message name as a stream string followed by its fields in a fixed
// order: u32 little-endian integers, f64 numbers, stream strings and blocks
// written by their owners (stored parameters, presets, banks, viz data).
//
// CParamMessage composes one message in a memory writer (initial capacity
// 256 bytes). The first failed write is kept and every later write is
// skipped, so a message is either complete or not sent at all.
// CParamMessageReader reads one with bounds-checked reads; a handler reads
// every field and checks the end before it acts, so a truncated or padded
// message changes nothing.
//
// Identifiers: the listener ids of parameters, registry handles, viz
// listeners and requests carry the client connection in their upper 16 bits
// and a number the client chose in the lower 16 bits. The base sends every
// answer and notification for such an id to that connection only. The value
// kParamAll (0xFFFFFFFF) in a group, index or count field means "all" or
// "none", as each message says.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "Core/Error.h"
#include "Core/MemoryReader.h"
#include "Core/MemoryWriter.h"
#include "Core/String.h"

KELSTR(CParamMessage_str_TooLong, "String of %1 bytes is too long for message '%2'.");
KELSTR(CParamMessageReader_end_TrailingData, "Unexpected %1 bytes after message '%2'.");
KELSTR(CParamMessageReader_block_TooLong, "Block of %1 bytes exceeds message '%2'.");

inline constexpr size_t kParamMessageCapacity = 256;
inline constexpr uint32_t kParamAll = 0xFFFFFFFFu;
inline constexpr uint32_t kParamClientShift = 16;
inline constexpr uint32_t kParamLocalMask = 0xFFFFu;

// The client connection an id belongs to, and the client's own number.
constexpr uint32_t paramClientOf(uint32_t id) { return id >> kParamClientShift; }
constexpr uint32_t paramLocalOf(uint32_t id) { return id & kParamLocalMask; }
constexpr uint32_t paramMakeId(uint32_t client, uint32_t local) {
    return (client << kParamClientShift) | (local & kParamLocalMask);
}
// -1 for kParamAll, else the value (groups, indices).
constexpr int paramIndexOf(uint32_t v) { return v == kParamAll ? -1 : int(v & 0x7FFFFFFFu); }
constexpr uint32_t paramFieldOf(int v) { return v < 0 ? kParamAll : uint32_t(v); }

// Message names.
namespace ParamMsg {
// Client -> base, parameter part.
inline constexpr std::string_view kListenParam = "listen-param";
inline constexpr std::string_view kUnlistenParam = "unlisten-param";
inline constexpr std::string_view kChangeParam = "change-param";
inline constexpr std::string_view kResetParam = "reset-param";
inline constexpr std::string_view kCreateUndoData = "create-undo-data";
inline constexpr std::string_view kRemoveUndoData = "remove-undo-data";
inline constexpr std::string_view kSubmitUndoData = "submit-undo-data";
inline constexpr std::string_view kRequestUndoHistory = "request-undo-history";
inline constexpr std::string_view kSetUndoHistoryPos = "set-undo-history-pos";
inline constexpr std::string_view kListenRegistry = "listen-registry";
inline constexpr std::string_view kUnlistenRegistry = "unlisten-registry";
inline constexpr std::string_view kSetCurrentProgram = "set-current-program";
inline constexpr std::string_view kRenamePreset = "rename-preset";
inline constexpr std::string_view kActivateFactoryPreset = "activate-factory-preset";
inline constexpr std::string_view kActivatePreset = "activate-preset";
inline constexpr std::string_view kRequestPreset = "request-preset";
inline constexpr std::string_view kRequestBank = "request-bank";
inline constexpr std::string_view kSetDefaultPreset = "set-default-preset";
inline constexpr std::string_view kActivateDefaultPreset = "activate-default-preset";
inline constexpr std::string_view kExchangeShadowPreset = "exchange-shadow-preset";
inline constexpr std::string_view kUpdateShadowPreset = "update-shadow-preset";
// Base -> client, parameter part.
inline constexpr std::string_view kUpdateParam = "update-param";
inline constexpr std::string_view kUpdateParamInfo = "update-param-info";
inline constexpr std::string_view kUpdateUndoHistory = "update-undo-history";
inline constexpr std::string_view kUpdateRegistry = "update-registry";
inline constexpr std::string_view kRegistryData = "registry-data";
// Client -> base, audio part.
inline constexpr std::string_view kListenViz = "listen-viz";
inline constexpr std::string_view kUnlistenViz = "unlisten-viz";
inline constexpr std::string_view kRequestVizData = "request-viz-data";
inline constexpr std::string_view kRequestExportSlotNames = "request-export-slot-names";
inline constexpr std::string_view kRequestInternalChannelCount = "request-internal-channel-count";
inline constexpr std::string_view kRequestGroupCount = "request-group-count";
inline constexpr std::string_view kRequestIoChannelCounts = "request-io-channel-counts";
inline constexpr std::string_view kRequestSampleRate = "request-sample-rate";
inline constexpr std::string_view kImportChannelLabels = "import-channel-labels";
// Base -> client, audio part.
inline constexpr std::string_view kStartViz = "start-viz";
inline constexpr std::string_view kStopViz = "stop-viz";
inline constexpr std::string_view kClearClient = "clear-client";
inline constexpr std::string_view kUpdateInternalChannelCount = "update-internal-channel-count";
inline constexpr std::string_view kUpdateGroupCount = "update-group-count";
inline constexpr std::string_view kUpdateIoChannelCounts = "update-io-channel-counts";
inline constexpr std::string_view kUpdateSampleRate = "update-sample-rate";
inline constexpr std::string_view kVizData = "viz-data";
inline constexpr std::string_view kExportSlotNames = "export-slot-names";
// Transport of the connectors: client -> base and base -> client.
inline constexpr std::string_view kProcessBaseData = "process-base-data";
inline constexpr std::string_view kProcessBaseDataProxy = "process-base-data-proxy";
}  // namespace ParamMsg

// Flags and reasons of "update-registry"; flags of "registry-data".
namespace ParamRegistry {
inline constexpr uint32_t kMaster = 1, kEnumerated = 2, kElementEnum = 4, kGlobalStorable = 8, kHasDefault = 16;
inline constexpr uint32_t kReasonListen = 0, kReasonProgram = 1, kReasonRegistry = 2;
inline constexpr uint32_t kDataFactory = 1, kDataBank = 2;
}  // namespace ParamRegistry

class CParamMessage {
public:
    explicit CParamMessage(std::string_view name);
    CParamMessage(const CParamMessage&) = delete;
    CParamMessage& operator=(const CParamMessage&) = delete;

    CParamMessage& u32(uint32_t v);
    CParamMessage& f64(double v);
    // Strings the reading side would refuse (longer than kMaxStreamString
    // bytes) fail the message.
    CParamMessage& str(const CString& s);
    CParamMessage& bytes(std::span<const uint8_t> b);
    // Runs a writer of a block (stored parameter, preset, viz data) on the
    // message's stream; its error fails the message.
    template <class Writer>
    CParamMessage& block(Writer&& write) {
        if (m_err.ok()) m_err = write(static_cast<COutputStream&>(m_out));
        return *this;
    }

    const CString& name() const { return m_name; }
    bool ok() const { return m_err.ok(); }
    // The finished message, or the error of its first failed write.
    CError finish(std::vector<uint8_t>* out);

private:
    CString m_name;
    CMemoryWriter m_out{kParamMessageCapacity};
    CError m_err;
};

class CParamMessageReader {
public:
    explicit CParamMessageReader(std::span<const uint8_t> message) : m_in(message.data(), message.size()) {}

    // Reads the name (first).
    CError readName();
    const CString& name() const { return m_name; }
    bool is(std::string_view n) const { return m_name == CString(n); }

    CError u32(uint32_t* v) { return m_in.readU32(v); }
    CError f64(double* v) { return m_in.readF64(v); }
    CError str(CString* s) { return m_in.readString(s); }
    // The next n bytes (a view into the message).
    CError bytes(size_t n, std::span<const uint8_t>* out);
    // A u32 byte count and that many bytes.
    CError block(std::span<const uint8_t>* out);
    // The stream for readers of blocks (stored parameter, preset).
    CMemoryReader& stream() { return m_in; }
    std::span<const uint8_t> rest() const { return {m_in.data() + m_in.position(), m_in.remaining()}; }
    // Fails when bytes are left.
    CError end() const;

private:
    CMemoryReader m_in;
    CString m_name;
};
