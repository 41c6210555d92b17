#pragma once
// The one in-memory picture of the matrix: the latest status, network and model blocks, the
// nine name tables and the flags that drive the initial acquisition and the page refreshes.
//
// Threads: the flags are atomics and may be read and written from any thread. Blocks and
// tables are written by the block decoders and the rename dialogs and read by the pages, all
// on the UI thread.
#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

enum class NameTable {
    EdidDefault,    // frame type 3, 32-byte entries
    EdidUser,       // 4
    EdidInput,      // 5
    EdidHdmiOutput, // 6
    EdidHdbtOutput, // 7
    InputPort,      // 8, 16-byte entries
    HdmiOutputPort, // 9
    HdbtOutputPort, // 10
    Scene,          // 11
};

inline constexpr int kNameTableCount = 9;
inline constexpr int kNameEntries = 8;
inline constexpr size_t kMaxTableSize = 256;

int NameTableWidth(NameTable table);     // 32 for EDID names, 16 for port and scene names
int NameTableSize(NameTable table);      // 8 entries of the width
int NameTableFrameType(NameTable table); // 3..11
std::optional<NameTable> NameTableForFrameType(int type);

enum AcquisitionState { AcquisitionPending = 0, AcquisitionComplete = 1, AcquisitionFailed = 2 };

using Block = std::vector<uint8_t>;

class DeviceStatus {
public:
    // Acquisition and refresh flags.
    std::atomic<int> stopRequested{0};
    std::atomic<int> acquisitionDone{0};
    std::atomic<int> initialDataReceived{0};
    std::atomic<int> acquisitionState{AcquisitionPending};
    std::atomic<int> statusRefreshPending{0};
    std::atomic<int> networkRefreshPending{0};
    std::atomic<int> modelRefreshPending{0};
    // One bit per frame type (1 << type) decoded since the last reset.
    std::atomic<uint32_t> framesReceived{0};

    // Latest blocks as received (the block includes its trailing checksum byte); absent when
    // none has arrived since the last reset.
    std::optional<Block> statusBlock;
    std::optional<Block> networkBlock;
    std::optional<Block> modelBlock;

    // Status block fields; port numbers count from 1 (1..8). Bytes beyond the block read as 0,
    // and only the low six bits of each byte count.
    bool hasStatusBlock() const { return statusBlock.has_value(); }
    int videoInput(int output) const;    // the input routed to the output, counted from 1
    int audioInputMode(int input) const; // 0 off, 1 H, 2 A
    int audioOutputHdmi(int output) const;
    int audioOutputIis(int output) const;   // 0 off, otherwise on
    int audioOutputSpdif(int output) const; // 0 off, otherwise on
    int edidMode(int input) const;          // 0 Default, 1 User, 2 HDMI, 3 HDBT
    int edidData(int input) const;          // source number counted from 0

    // Network block fields.
    bool hasNetworkBlock() const { return networkBlock.has_value(); }
    int dhcp() const;
    std::array<uint8_t, 4> ipAddress() const;
    std::array<uint8_t, 4> subnetMask() const;
    std::array<uint8_t, 4> gateway() const;
    std::array<uint8_t, 4> dnsServer() const;
    std::array<uint8_t, 6> macAddress() const;
    std::string netbiosName() const; // 8-bit text, bounded by its 16 bytes

    // Model block fields, 8-bit text bounded by their width and the block's end.
    bool hasModelBlock() const { return modelBlock.has_value(); }
    std::string productModel() const;
    std::string releaseVersion() const;

    // Name tables. Entries count from 1 (1..8); an entry reads as text up to its first zero
    // or its full width, never into the next entry.
    std::string name(NameTable table, int entry) const;
    std::span<const uint8_t> nameEntry(NameTable table, int entry) const;
    // Clears the entry and copies at most its width of bytes into it, without a terminator.
    void setName(NameTable table, int entry, std::string_view bytes);
    std::span<uint8_t> tableBytes(NameTable table);
    std::span<const uint8_t> tableBytes(NameTable table) const;

    // Empties tables and blocks and clears the refresh flags and the acquisition state.
    void clearModel();

    // Each input's EDID choice (mode and source, as edidChoice() gives it) in the status block
    // when the input EDID names last arrived; -1 where no status block had come. Tells a
    // current entry of that table from one the status block has overtaken.
    std::array<int, kNameEntries> edidChoiceAtInputNames{-1, -1, -1, -1, -1, -1, -1, -1};
    int edidChoice(int input) const { return edidMode(input) << 8 | edidData(input); }

private:
    int statusByte(size_t offset) const;
    std::array<std::array<uint8_t, kMaxTableSize>, kNameTableCount> tables_{};
};

// The name of the EDID the input presents. The input EDID names say it, unless the status
// block has since given the input another EDID: then it is the name of the one now chosen, from
// the table of its mode, for a table that lags must not show a choice the matrix has left.
// Nothing when neither is known.
std::optional<std::string> PresentedEdidName(const DeviceStatus& status, int input);

// The request for everything is answered by every block and table; the HDMI output names
// (type 9) come last. The answer is whole only when each of them has arrived: a frame lost to a
// bad checksum leaves a hole that the last frame alone must not hide.
bool HasWholeState(const DeviceStatus& status);
// The same for a set of frame types, one bit per type (1 << type), as framesReceived keeps them.
bool IsWholeState(uint32_t frameTypes);
// What is still missing from the whole state, in words ("scene names"), in frame-type order.
std::vector<std::string> MissingStateParts(const DeviceStatus& status);

// Acquisition start: flags, tables and blocks back to empty; stopRequested and
// acquisitionDone cleared. initialDataReceived is never cleared.
void ResetDeviceStatus(DeviceStatus& status);

// Port close: the same clearing, but stopRequested is set and acquisitionDone kept.
void ClearDeviceStatusOnClose(DeviceStatus& status);

// The program's one model of the matrix.
DeviceStatus& GlobalDeviceStatus();
