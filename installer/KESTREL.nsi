; "Quillmar KESTREL Setup.exe": installs the panel for all users below Program Files, starts it
; at every user's logon and registers an uninstaller that takes away all of it again. The users'
; settings under HKCU\Software\Quillmar belong to them and are never touched, so the stored
; clock source (SPDIFSync) survives an uninstall and an install over an earlier copy.
;
; It runs as an administrator, often one who elevated a standard user's setup: its HKCU is then
; the administrator's, and a panel of the user who started it belongs to another account, maybe
; to another session. So the autostart is machine-wide, from a folder only administrators can
; change, and a panel file that cannot be replaced stops the install before it changes anything.
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
; A file that cannot be written stops the install; skipped, it would leave the old program in
; place under the new version's record.
AllowSkipFiles off

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
!define /math PANEL_EXIT_TRIES ${PANEL_EXIT_MS} / 100
; How often, 100 ms apart, the installer tries to open the installed panel's file as the install
; will write it: an ended panel's process lets go of it a moment after its window has gone.
!define PANEL_FILE_TRIES 50
!define GENERIC_WRITE 0x40000000
!define FILE_SHARE_READ 1
!define OPEN_EXISTING 3
; How often, 100 ms apart, the uninstaller tries to remove the installed uninstaller's file.
!define UNINSTALLER_GONE_TRIES 100

Name "${PRODUCT}"
OutFile "${OUT_FILE}"
BrandingText "${PRODUCT} ${VERSION}"
; A 32-bit installer gets the 32-bit Program Files on 64-bit Windows, as the 32-bit panel should.
!if "${TARGET}" == "amd64-unicode"
  !define PROGRAM_FILES "$PROGRAMFILES64"
!else
  !define PROGRAM_FILES "$PROGRAMFILES"
!endif
InstallDir "${PROGRAM_FILES}\${COMPANY}\KESTREL"
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
!define MUI_DIRECTORYPAGE_TEXT_TOP "Setup will install ${PRODUCT} in the following folder, \
    which must lie below ${PROGRAM_FILES}. To install in a different folder there, click Browse \
    and select it. $_CLICK"
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE LeaveDirectoryPage
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

!define NOT_BELOW_PROGRAM_FILES "${PRODUCT} is installed only below ${PROGRAM_FILES}, where only \
    administrators can change it: $INSTDIR is not. Nothing was changed."
!define PANEL_IN_USE "${PRODUCT} is in use, perhaps in another user's session: \
    $INSTDIR\${PANEL_FILE} cannot be replaced. End it there and run the setup again. \
    Nothing was changed."

; Whether the folder on the stack lies below Program Files: pushes 1 or 0. Every logon starts
; the panel from there, so a folder that a standard user can change must not be used. Both
; paths are made full first (".." resolved, "/" read as "\", no closing "\"), and the folder
; must go on with a "\" after Program Files' own name: "Program Files2" is not below it. NSIS
; compares without regard to case, as the file system does.
Function IsBelowProgramFiles
    Exch $0
    Push $1
    Push $2
    Push $3
    Push "${PROGRAM_FILES}"
    Call FullPath
    Pop $1
    Push $0
    Call FullPath
    Pop $0
    StrLen $2 $1
    StrCpy $3 $0 1 $2 ; the character after as many as Program Files' path has
    StrCpy $0 $0 $2
    ${If} $1 != ""
    ${AndIf} $0 == $1
    ${AndIf} $3 == "\"
        StrCpy $0 1
    ${Else}
        StrCpy $0 0
    ${EndIf}
    Pop $3
    Pop $2
    Pop $1
    Exch $0
FunctionEnd

; The full path of the path on the stack, without a closing "\"; empty when there is none.
Function FullPath
    Exch $0
    Push $1
    System::Call "kernel32::GetFullPathName(t r0, i ${NSIS_MAX_STRLEN}, t .r0, p 0) i .r1"
    ${If} $1 = 0
    ${OrIf} $1 >= ${NSIS_MAX_STRLEN}
        StrCpy $0 ""
    ${EndIf}
    ${Do}
        StrCpy $1 $0 1 -1
        ${If} $1 != "\"
            ${ExitDo}
        ${EndIf}
        StrCpy $0 $0 -1
    ${Loop}
    Pop $1
    Exch $0
FunctionEnd

; The directory page keeps a folder outside Program Files from being chosen, saying why.
Function LeaveDirectoryPage
    Push $INSTDIR
    Call IsBelowProgramFiles
    Pop $0
    ${If} $0 <> 1
        MessageBox MB_ICONSTOP "${NOT_BELOW_PROGRAM_FILES}"
        Abort
    ${EndIf}
FunctionEnd

; Ends the panel of this session, if one runs, through its own "E&xit" command, so that it
; removes its tray icon and lets go of its executable. Sets the error flag when a panel is still
; running after the wait, so that no file is replaced or removed under it. A panel of another
; account (the user whose setup an administrator elevated) cannot be opened to wait for: its
; process grants that access to its own user only. Its window going is then all there is to
; see; whether its file is free yet is the caller's to find out.
!macro DEFINE_CLOSE_PANEL un
Function ${un}ClosePanel
    Push $0
    Push $1
    Push $2
    Push $3
    ClearErrors
    FindWindow $0 "${PANEL_CLASS}" "${PANEL_CAPTION}"
    ${If} $0 P<> 0
        ; Opened before the command, so that the id still names the panel's process.
        System::Call "user32::GetWindowThreadProcessId(p r0, *i 0 r1)"
        System::Call "kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r1) p .r2"
        SendMessage $0 ${WM_COMMAND} ${ID_TRAY_EXIT} 0 /TIMEOUT=${PANEL_EXIT_MS}
        StrCpy $3 0
        ${Do}
            System::Call "user32::IsWindow(p r0) i .r1"
            ${If} $1 = 0
            ${OrIf} $3 >= ${PANEL_EXIT_TRIES}
                ${ExitDo}
            ${EndIf}
            Sleep 100
            IntOp $3 $3 + 1
        ${Loop}
        ${If} $1 <> 0
            SetErrors
        ${ElseIf} $2 P<> 0
            System::Call "kernel32::WaitForSingleObject(p r2, i ${PANEL_EXIT_MS}) i .r3"
            ${If} $3 <> ${WAIT_OBJECT_0}
                SetErrors
            ${EndIf}
        ${EndIf}
        ${If} $2 P<> 0
            System::Call "kernel32::CloseHandle(p r2)"
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

; Sets the error flag when the installed panel's file is there but cannot be opened the way
; the install writes it: a copy runs where this installer cannot see it (another user's session)
; or another program holds it. A panel whose window has just gone still holds it until its
; process has ended, a moment later.
Function CheckPanelFileFree
    Push $0
    Push $1
    Push $2
    ClearErrors
    StrCpy $0 "$INSTDIR\${PANEL_FILE}"
    StrCpy $1 0
    ${DoWhile} ${FileExists} $0
        System::Call "kernel32::CreateFile(t r0, i ${GENERIC_WRITE}, i ${FILE_SHARE_READ}, p 0, \
            i ${OPEN_EXISTING}, i 0, p 0) p .r2"
        ${If} $2 P<> -1
            System::Call "kernel32::CloseHandle(p r2)"
            ${ExitDo}
        ${EndIf}
        ${If} $1 >= ${PANEL_FILE_TRIES}
            SetErrors
            ${ExitDo}
        ${EndIf}
        Sleep 100
        IntOp $1 $1 + 1
    ${Loop}
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

Function .onInit
    Call RequireAdmin
FunctionEnd

Function un.onInit
    Call un.RequireAdmin
FunctionEnd

Section "${PRODUCT}" SectionPanel
    SectionIn RO
    SetShellVarContext all

    ; The folder may come from /D= or an earlier install's record as well as from the page.
    Push $INSTDIR
    Call IsBelowProgramFiles
    Pop $0
    ${If} $0 <> 1
        Abort "${NOT_BELOW_PROGRAM_FILES}"
    ${EndIf}
    Call ClosePanel
    ${If} ${Errors}
        Abort "${PRODUCT} is still running and did not end; nothing was changed."
    ${EndIf}
    Call CheckPanelFileFree
    ${If} ${Errors}
        SetErrorLevel 32 ; ERROR_SHARING_VIOLATION
        Abort "${PANEL_IN_USE}"
    ${EndIf}

    SetOutPath "$INSTDIR"
    SetOverwrite on
    File "/oname=${PANEL_FILE}" "${PANEL_EXE}"
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"
    CreateShortCut "${SHORTCUT}" "$INSTDIR\${PANEL_FILE}" "" "$INSTDIR\${PANEL_FILE}" 0

    ; Every user's logon starts the panel, hidden in the tray. (An earlier version started it
    ; for the installing account alone.)
    WriteRegStr HKLM "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\${PANEL_FILE}"'
    DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"

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
    DeleteRegValue HKLM "${RUN_KEY}" "${PRODUCT}"
    DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
    ; Last, so that an uninstall that stops early can be run again from Add/Remove Programs.
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
