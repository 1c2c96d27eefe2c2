; "Quillmar KESTREL Setup.exe": installs the panel for all users, starts it at the installing
; user's logon and registers an uninstaller that takes away all of it again. The user's settings
; under HKCU\Software\Quillmar belong to the user and are never touched, so the stored clock
; source (SPDIFSync) survives an uninstall and an install over an earlier copy.
;
; CMake passes:
;   TARGET     makensis target: x86-unicode for the 32-bit product, amd64-unicode for the
;              64-bit build that the tests run
;   PANEL_EXE  the panel executable to ship
;   ICON       the panel's icon, also the installer's
;   VERSION    the four-part product version
;   OUT_FILE   the installer to write

Unicode true
Target ${TARGET}
SetCompressor /SOLID lzma
; Program Files and the uninstall entry are machine-wide.
RequestExecutionLevel admin

!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh
!include MUI2.nsh

!define PRODUCT "Quillmar KESTREL"
!define COMPANY "Quillmar"
!define PANEL_FILE "Quillmar KESTREL.exe"
!define UNINSTALLER "Uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"

; The running panel: its dialog window and the tray menu's "E&xit" command.
!define PANEL_CLASS "#32770"
!define PANEL_CAPTION "Quillmar KESTREL"
!define ID_TRAY_EXIT 0x8004
!define SYNCHRONIZE 0x00100000
!define WAIT_OBJECT_0 0
; How long the panel gets to take the command and to end. It may be inside a driver request,
; which has no time limit of its own.
!define PANEL_EXIT_MS 15000
; How often, 100 ms apart, the uninstaller tries to remove the installed uninstaller's file.
!define UNINSTALLER_GONE_TRIES 100

Name "${PRODUCT}"
OutFile "${OUT_FILE}"
BrandingText "${PRODUCT} ${VERSION}"
; A 32-bit installer gets the 32-bit Program Files on 64-bit Windows, as the 32-bit panel should.
!if "${TARGET}" == "amd64-unicode"
  InstallDir "$PROGRAMFILES64\${COMPANY}\KESTREL"
!else
  InstallDir "$PROGRAMFILES\${COMPANY}\KESTREL"
!endif
; An install over an earlier one goes where that one went.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${COMPANY}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${COMPANY}"
VIAddVersionKey /LANG=1033 "OriginalFilename" "${PRODUCT} Setup.exe"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Ends the panel of this session, if one runs, through its own "E&xit" command, so that it
; removes its tray icon and lets go of its executable. Sets the error flag when a panel is still
; running after the wait or cannot be watched, so that no file is replaced or removed under it.
!macro DEFINE_CLOSE_PANEL un
Function ${un}ClosePanel
    Push $0
    Push $1
    Push $2
    Push $3
    ClearErrors
    FindWindow $0 "${PANEL_CLASS}" "${PANEL_CAPTION}"
    ${If} $0 P<> 0
        System::Call "user32::GetWindowThreadProcessId(p r0, *i 0 r1)"
        System::Call "kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r1) p .r2"
        SendMessage $0 ${WM_COMMAND} ${ID_TRAY_EXIT} 0 /TIMEOUT=${PANEL_EXIT_MS}
        ${If} $2 P<> 0
            System::Call "kernel32::WaitForSingleObject(p r2, i ${PANEL_EXIT_MS}) i .r3"
            System::Call "kernel32::CloseHandle(p r2)"
            ${If} $3 <> ${WAIT_OBJECT_0}
                SetErrors
            ${EndIf}
        ${Else}
            SetErrors
        ${EndIf}
    ${EndIf}
    Pop $3
    Pop $2
    Pop $1
    Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_CLOSE_PANEL ""
!insertmacro DEFINE_CLOSE_PANEL "un."

; Without administrator rights Program Files and the uninstall entry cannot be written.
!macro DEFINE_REQUIRE_ADMIN un
Function ${un}RequireAdmin
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "Admin"
        MessageBox MB_ICONSTOP "Administrator rights are needed to change ${PRODUCT}." /SD IDOK
        SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
        Quit
    ${EndIf}
FunctionEnd
!macroend
!insertmacro DEFINE_REQUIRE_ADMIN ""
!insertmacro DEFINE_REQUIRE_ADMIN "un."

Function .onInit
    Call RequireAdmin
FunctionEnd

Function un.onInit
    Call un.RequireAdmin
FunctionEnd

Section "${PRODUCT}" SectionPanel
    SectionIn RO
    SetShellVarContext all

    Call ClosePanel
    ${If} ${Errors}
        Abort "${PRODUCT} is still running and did not end; nothing was changed."
    ${EndIf}

    SetOutPath "$INSTDIR"
    SetOverwrite on
    File "/oname=${PANEL_FILE}" "${PANEL_EXE}"
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"
    CreateShortCut "${SHORTCUT}" "$INSTDIR\${PANEL_FILE}" "" "$INSTDIR\${PANEL_FILE}" 0

    ; Autostart belongs to the user who installs; the panel starts hidden in the tray.
    WriteRegStr HKCU "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\${PANEL_FILE}"'

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${COMPANY}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\${PANEL_FILE}",0'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
    SetShellVarContext all

    Call un.ClosePanel
    ${If} ${Errors}
        Abort "${PRODUCT} is still running and did not end; nothing was removed."
    ${EndIf}

    ; A panel file that cannot go leaves the entry in place, so that the uninstall can be run
    ; again later.
    ClearErrors
    Delete "$INSTDIR\${PANEL_FILE}"
    ${If} ${Errors}
        Abort "$INSTDIR\${PANEL_FILE} could not be removed."
    ${EndIf}
    ; The uninstall runs from a copy in the temp folder that the installed uninstaller started
    ; just before it ended: its file can go only once that process is gone, which on a busy
    ; system takes a moment. (Run in place, with _?=, it holds its own file until it ends.)
    StrCpy $1 0
    ${Do}
        ClearErrors
        Delete "$INSTDIR\${UNINSTALLER}"
        ${IfNot} ${Errors}
        ${OrIf} $1 >= ${UNINSTALLER_GONE_TRIES}
            ${ExitDo}
        ${EndIf}
        Sleep 100
        IntOp $1 $1 + 1
    ${Loop}
    ; A file that another program still holds goes, with the folders, at the next restart. If
    ; even that cannot be arranged the entry stays, so that the uninstall can be run again.
    SetRebootFlag false
    ${If} ${FileExists} "$INSTDIR\${UNINSTALLER}"
        Delete /REBOOTOK "$INSTDIR\${UNINSTALLER}"
        ${IfNot} ${RebootFlag}
            Abort "$INSTDIR\${UNINSTALLER} could not be removed."
        ${EndIf}
        DetailPrint "$INSTDIR will be removed when Windows restarts."
    ${EndIf}
    ; The company folder goes only when no other product of ours is left in it.
    ${GetParent} "$INSTDIR" $0
    ${GetFileName} "$0" $1
    ${If} ${RebootFlag}
        RMDir /REBOOTOK "$INSTDIR"
        ${If} $1 == "${COMPANY}"
            RMDir /REBOOTOK "$0"
        ${EndIf}
    ${Else}
        RMDir "$INSTDIR"
        ${If} $1 == "${COMPANY}"
            RMDir "$0"
        ${EndIf}
    ${EndIf}

    Delete "${SHORTCUT}"
    DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
    ; Last, so that an uninstall that stops early can be run again from Add/Remove Programs.
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
