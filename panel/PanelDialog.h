#pragma once

#include "CComboBox.h"
#include "CDialog.h"
#include "CInstanceChecker.h"
#include "ControlRecords.h"
#include "resource.h"

#include <windows.h>

#include <memory>

class CSystemTray;

// The main panel: a modal dialog that lives hidden in the notification area. It shows the
// driver's sample rate, the units' clock source and the driver's buffer size (as latency), and
// sends the user's choices back. Its model (PanelDialogModel.cpp) reads the driver only at
// start-up and after a unit arrives or leaves; its window side (PanelDialog.cpp) handles the
// tray, the system menu, minimising to the tray and device notifications.
class PanelDialog : public CDialog {
public:
    enum { IDD = IDD_KESTREL_DIALOG };

    explicit PanelDialog(CWnd* parent = nullptr);
    ~PanelDialog() override;

    BOOL DestroyWindow() override;
    BOOL OnInitDialog() override;

    // The panel model.
    void RefreshPanel();
    void ReopenDevice();
    int LoadClockSource();
    // Sends the clock source to every unit; false at the first unit that failed.
    bool ApplyClockSource();
    void ApplyCpuLevel(int level);

    bool RegisterDeviceNotifications(const GUID& interfaceClass);
    CInstanceChecker& InstanceChecker() { return m_instanceChecker; }
    void UpdateWindowVisibility();

    // Rates and buffer sizes the panel offers, each list ending in -1. A list position is an
    // index into its table.
    static const int kSampleRates[];
    static const int kBufferSizes[];

protected:
    DECLARE_MESSAGE_TABLE(PanelDialog)

    void OnSysCommand(UINT command, LPARAM lParam);
    void OnTrayRestore();
    void OnTrayExit();
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    BOOL OnDeviceChange(UINT event, DWORD_PTR data);
    BOOL OnPowerBroadcast(UINT event, LPARAM data);
    void OnSelchangeSampleRate();
    void OnSelchangeClockSource();
    void OnSelchangeBufferSize();
    void OnCpuLevel(UINT commandId);
    void OnDone();

    // Takes the dialog's three lists by control id.
    void AttachLists();

    HICON m_hIcon;
    HDEVNOTIFY m_deviceNotify;
    SampleRateRecord m_rateRecord;
    BufferSizeRecord m_bufferRecord;
    BufferSizeRecord m_bufferRecord2;
    CComboBox m_rateList;
    CComboBox m_clockList;
    CComboBox m_bufferList;
    int m_clockSource;
    int m_unitCount;
    HICON m_trayIcon;
    bool m_minimized;
    std::unique_ptr<CSystemTray> m_tray;
    UINT m_trayMessage;
    CInstanceChecker m_instanceChecker;
    // This wake has been handled by its first resume event (see OnPowerBroadcast).
    bool m_wakeHandled;

private:
    void RebuildRateList();
    void RebuildClockList();
    void RebuildBufferList();
};
