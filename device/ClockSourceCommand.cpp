#include "ClockSourceCommand.h"

#include "DeviceGlobals.h"
#include "UnitInterface.h"

#include <cstdint>
#include <cstring>
#include <iterator>

int CurrentUnitIndex = 0;

namespace {

// Input plug of the clock selector: plug 0 is the unit's S/PDIF input, plug 1 its own clock.
constexpr std::uint8_t SpdifPlug = 0;
constexpr std::uint8_t InternalPlug = 1;

struct PlugSelection {
    std::uint8_t firstUnit;
    std::uint8_t secondUnit;
};

// By clock-source list position; positions outside the table select the internal clock.
constexpr PlugSelection PlugTable[] = {
    {InternalPlug, InternalPlug}, // "Internal"
    {SpdifPlug, InternalPlug},    // "S/PDIF", "S/PDIF 1"
    {InternalPlug, SpdifPlug},    // "S/PDIF 2"
};
constexpr PlugSelection NoSelection = {InternalPlug, InternalPlug};

PlugSelection PlugsFor(int clockSource) {
    return clockSource >= 0 && clockSource < static_cast<int>(std::size(PlugTable))
               ? PlugTable[clockSource]
               : NoSelection;
}

// AV/C FUNCTION BLOCK, CONTROL, to selector function block 1 of audio subunit 0: set the
// CURRENT selected input plug.
constexpr std::uint8_t SelectorFrame[] = {
    0x00, // ctype CONTROL
    0x08, // subunit type audio (0x01 << 3), subunit ID 0
    0xB8, // opcode FUNCTION BLOCK
    0x80, // function block type selector
    0x01, // function block ID
    0x10, // control attribute CURRENT
    0x02, // selector length
    0x00, // selected input plug, filled in per unit
    0x01, // control selector: selector control
};
constexpr std::size_t PlugOffset = 7;

void WriteSelectorFrame(FcpRequestBlock& request, std::uint8_t plug) {
    std::memcpy(request.frame, SelectorFrame, sizeof(SelectorFrame));
    request.frame[PlugOffset] = plug;
    request.frameLength = sizeof(SelectorFrame);
    request.leadingWord = FcpRequestLeadingWord;
}

// Opens the unit at `unitIndex`, sends it the frame already in `request` and closes it again.
// The response is not examined: any answer counts as done.
bool SendToUnit(int unitIndex, const DeviceInfoSet& units, const FcpRequestBlock& request,
                FcpResponseBlock& response) {
    CurrentUnitIndex = unitIndex;
    if (g_unitCommandChannel.Open(static_cast<std::uint32_t>(CurrentUnitIndex), units.Get(),
                                  &UnitInterfaceGuid) != Status::Success) {
        return false;
    }
    const DriverStatus status = g_unitCommandChannel.SendRequest(request, response);
    g_unitCommandChannel.Close();
    return status == Status::Success;
}

} // namespace

bool SendClockSource(int clockSource, int unitCount) {
    // One set serves both units and is released when the command ends.
    const DeviceInfoSet units = GetUnitDeviceInfoSet(UnitInterfaceGuid);
    if (!units.IsValid()) {
        return false;
    }
    const PlugSelection plugs = PlugsFor(clockSource);
    FcpRequestBlock request = {};
    FcpResponseBlock response = {};

    WriteSelectorFrame(request, plugs.firstUnit);
    if (!SendToUnit(0, units, request, response)) {
        return false;
    }
    if (unitCount != 2) {
        return true;
    }
    // Same frame length, so the bytes after the frame are still zero.
    WriteSelectorFrame(request, plugs.secondUnit);
    return SendToUnit(1, units, request, response);
}
