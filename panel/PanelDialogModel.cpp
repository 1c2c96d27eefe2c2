// The panel's model: the values it shows of the driver, and the user's choices sent back.
#include "PanelDialog.h"

#include "CWinApp.h"
#include "ClockSourceCommand.h"
#include "DeviceGlobals.h"

#include <iterator>

namespace {

const char kClockSection[] = "KESTREL";
const char kClockEntry[] = "SPDIFSync";
const char kNoDevice[] = " No Device";
const char kInternal[] = "Internal";
const char kSpdif[] = "S/PDIF";
const char kSpdif1[] = "S/PDIF 1";
const char kSpdif2[] = "S/PDIF 2";

const int kSampleRateCount = 4;
const int kBufferSizeCount = 12;

struct CpuLevelCommand {
    UINT commandId;
    int level;
};

// The tray menu's "CPU" entries; the level falls as the load it allows rises.
const CpuLevelCommand kCpuLevels[] = {
    {ID_CPU_LOW, 4000}, {ID_CPU_MEDIUM, 2000}, {ID_CPU_HIGH, 1000}};

// "48.0 kHz", "2.5 ms": the thousands, then one decimal, truncated. The texts are short and
// fit any buffer of this size.
void FormatThousandths(char (&text)[32], int value, const char* unit) {
    wsprintfA(text, "%d.%01d %s", value / 1000, (value % 1000) / 100, unit);
}

} // namespace

const int PanelDialog::kSampleRates[] = {44100, 48000, 88200, 96000, -1};
const int PanelDialog::kBufferSizes[] = {1500, 2000,  2500,  3000,  3500,  4000, 6000,
                                         8000, 10000, 12000, 18000, 25000, -1};
static_assert(std::size(PanelDialog::kSampleRates) == kSampleRateCount + 1);
static_assert(std::size(PanelDialog::kBufferSizes) == kBufferSizeCount + 1);

void PanelDialog::AttachLists() {
    m_rateList.Attach(GetDlgItem(m_hWnd, IDC_SAMPLE_RATE));
    m_clockList.Attach(GetDlgItem(m_hWnd, IDC_CLOCK_SOURCE));
    m_bufferList.Attach(GetDlgItem(m_hWnd, IDC_BUFFER_SIZE));
}

bool PanelDialog::RefreshPanel() {
    m_unitCount = g_controlChannel.UnitCount();
    const bool rateRead = ShowSampleRate();
    if (rateRead) {
        m_clockSource = LoadClockSource();
        // Each user logged on runs a panel, and the units have one clock: the console's user
        // sets it. A panel in the background shows its own user's choice and sends it when its
        // session comes to the console.
        if (IsAtConsole()) {
            ApplyClockSource();
        }
        RebuildClockList();
    }
    ShowBufferSize();
    return rateRead;
}

void PanelDialog::RereadDriverValues() {
    // The driver or its units may be back without an arrival having been announced, as after a
    // wake during a bus reset: the panel then refreshes as for an arrival, which brings back the
    // clock list and the units' clock source too.
    if (m_rateReadFailed) {
        ReopenDevice();
        return;
    }
    ShowSampleRate();
    ShowBufferSize();
}

bool PanelDialog::ShowSampleRate() {
    const int cachedRate = m_rateRecord.rate;
    const bool read = g_controlChannel.GetSampleRate(m_rateRecord) == Status::Success;
    m_rateReadFailed = !read;
    if (!read) {
        // Unknown until read again, so that the next rate read rebuilds the list whatever it is.
        m_rateRecord.rate = -1;
        // The clock list keeps its entries and selection; nothing is sent to the units.
        m_rateList.ResetContent();
        m_rateList.AddString(kNoDevice);
        m_rateList.SelectString(-1, kNoDevice);
        m_clockList.EnableWindow(false);
    } else if (m_rateRecord.rate != cachedRate) {
        RebuildRateList();
    }
    if (m_rateList.GetCurSel() == CB_ERR) {
        m_rateList.SetCurSel(0); // shown only: the cached rate stays as read, nothing is sent
    }
    return read;
}

void PanelDialog::ShowBufferSize() {
    const int cachedSize = m_bufferRecord.microseconds;
    if (g_controlChannel.GetBufferSize(m_bufferRecord) != Status::Success) {
        // Unknown until read again, so that the next read enables and rebuilds the list.
        m_bufferRecord.microseconds = -1;
        m_bufferList.EnableWindow(false);
    } else if (m_bufferRecord.microseconds != cachedSize) {
        RebuildBufferList();
    }
}

void PanelDialog::RebuildRateList() {
    m_rateList.ResetContent();
    // Two chained units run at 44.1 or 48 kHz only.
    const int count = m_unitCount == 1 ? kSampleRateCount : 2;
    for (int i = 0; i < count; ++i) {
        char text[32];
        FormatThousandths(text, kSampleRates[i], "kHz");
        m_rateList.AddString(text);
        if (kSampleRates[i] == m_rateRecord.rate) {
            m_rateList.SelectString(-1, text);
        }
    }
}

void PanelDialog::RebuildClockList() {
    m_clockList.ResetContent();
    m_clockList.EnableWindow(true);
    m_clockList.AddString(kInternal);
    if (m_unitCount != 2) {
        m_clockList.AddString(kSpdif);
    } else {
        m_clockList.AddString(kSpdif1);
        m_clockList.AddString(kSpdif2);
    }
    const char* selected = nullptr;
    if (m_clockSource == 0) {
        selected = kInternal;
    } else if (m_unitCount == 1) {
        selected = kSpdif;
    } else if (m_clockSource == 1) {
        selected = kSpdif1;
    } else if (m_clockSource == 2) {
        selected = kSpdif2;
    }
    if (selected != nullptr) {
        m_clockList.SelectString(-1, selected);
    }
}

void PanelDialog::RebuildBufferList() {
    m_bufferList.ResetContent();
    m_bufferList.EnableWindow(true);
    for (int i = 0; i < kBufferSizeCount; ++i) {
        char text[32];
        FormatThousandths(text, kBufferSizes[i], "ms");
        m_bufferList.AddString(text);
        if (kBufferSizes[i] == m_bufferRecord.microseconds) {
            m_bufferList.SelectString(-1, text);
        }
    }
}

bool PanelDialog::ReopenDevice() {
    m_rateRecord.rate = -1;
    m_bufferRecord.microseconds = -1;
    m_clockSource = -1;
    g_controlChannel.Close();
    if (g_controlChannel.Open() == Status::Success) {
        g_controlChannel.RefreshUnits();
    }
    return RefreshPanel();
}

int PanelDialog::LoadClockSource() {
    CWinApp* app = AfxGetApp();
    return app != nullptr ? app->GetProfileInt(kClockSection, kClockEntry, 0) : 0;
}

bool PanelDialog::ApplyClockSource() {
    return SendClockSource(m_clockSource, m_unitCount);
}

void PanelDialog::OnSelchangeSampleRate() {
    const int position = m_rateList.GetCurSel();
    // A position past the table cannot come from a list this panel filled; it is ignored.
    if (position >= 0 && position < kSampleRateCount) {
        const int rate = kSampleRates[position];
        if (rate != m_rateRecord.rate) {
            m_rateRecord.rate = rate; // kept whatever the driver answers
            if (g_controlChannel.SetSampleRate(m_rateRecord) == Status::Success &&
                g_controlChannel.ApplyStageOne() == Status::Success) {
                g_controlChannel.ApplyStageTwo();
            }
        }
    }
    ::SetFocus(m_hWnd);
}

void PanelDialog::OnSelchangeClockSource() {
    const int position = m_clockList.GetCurSel();
    if (position != m_clockSource) {
        m_clockSource = position;
        ApplyClockSource();
        // Stored whether or not the units took it: it is the user's choice.
        CWinApp* app = AfxGetApp();
        if (app != nullptr) {
            app->WriteProfileInt(kClockSection, kClockEntry, m_clockSource);
        }
    }
    ::SetFocus(m_hWnd);
}

void PanelDialog::OnSelchangeBufferSize() {
    const int position = m_bufferList.GetCurSel();
    if (position >= 0 && position < kBufferSizeCount) {
        const int size = kBufferSizes[position];
        if (size != m_bufferRecord.microseconds) {
            m_bufferRecord2.microseconds = size;
            m_bufferRecord.microseconds = size; // kept whatever the driver answers
            if (g_controlChannel.SetBufferSize(m_bufferRecord) == Status::Success) {
                g_controlChannel.SetSecondBufferSize(m_bufferRecord2);
                if (g_controlChannel.ApplyStageOne() == Status::Success) {
                    g_controlChannel.ApplyStageTwo();
                }
            }
        }
    }
    ::SetFocus(m_hWnd);
}

void PanelDialog::OnCpuLevel(UINT commandId) {
    for (const CpuLevelCommand& entry : kCpuLevels) {
        if (entry.commandId == commandId) {
            ApplyCpuLevel(entry.level);
            return;
        }
    }
}

void PanelDialog::ApplyCpuLevel(int level) {
    CpuLevelRecord record;
    record.level = level;
    // All three go out whatever each answers.
    g_controlChannel.SetCpuLevel(record);
    g_controlChannel.ApplyStageOne();
    g_controlChannel.ApplyStageTwo();
}
