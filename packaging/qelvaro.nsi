; Per-user installer: no administrator rights; everything it adds lies in the user's own profile
; and under HKEY_CURRENT_USER, and the uninstaller takes all of it away again.
;   makensis -INPUTCHARSET UTF8 -DVERSION=3.5 -DARCH=win64|win32 -DSTAGE=dir -DOUTFILE=file
; STAGE holds qelvaro.exe and README.txt. -DSIGN_UNINSTALLER=command signs the uninstaller, %1
; standing for its file.
;
; Command line, installer:   /S silent, /NOAUTOSTART leaves out the sign-in start, /D=dir.
; Command line, uninstaller: /S silent (keeps the saved settings), /REMOVESETTINGS deletes them
;                            without asking.

Unicode true
; Each installer is a program of its own architecture: Windows itself tells a 32-bit system that
; the 64-bit one cannot run there.
!if "${ARCH}" == "win64"
Target amd64-unicode
!else
Target x86-unicode
!endif
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestSupportedOS all
!ifdef SIGN_UNINSTALLER
!uninstfinalize "${SIGN_UNINSTALLER}"
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh
!include WinMessages.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Qelvaro"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define SETTINGS_KEY "Software\Tarnwell\Qelvaro"
!define IDM_EXIT 430
!define SYNCHRONIZE 0x00100000

Name "Qelvaro ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Qelvaro"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Qelvaro ${VERSION}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1033 "ProductName" "Qelvaro"
VIAddVersionKey /LANG=1033 "CompanyName" "Tarnwell"
VIAddVersionKey /LANG=1033 "FileDescription" "Qelvaro ${VERSION} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright © 2026 Tarnwell"

!define MUI_COMPONENTSPAGE_NODESC
!define MUI_COMPONENTSPAGE_TEXT_TOP "Qelvaro lives in the notification area. It can start by itself each time you sign in to Windows."
!define MUI_FINISHPAGE_RUN "$INSTDIR\qelvaro.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Qelvaro now"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Show how to use it"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Asks every running copy to exit through its own Exit command, so that it takes its tray icon
; and keyboard hook away, and waits for the process to end: Windows keeps a running program's
; file open, and it could be neither replaced nor deleted.
!macro DEFINE_CLOSE_RUNNING prefix
Function ${prefix}CloseRunningQelvaro
    Push $0
    Push $1
    Push $2
    Push $3
    StrCpy $3 0
    ${Do}
        FindWindow $0 "Qelvaro"
        ${If} $0 = 0
        ${OrIf} $3 >= 10
            ${Break}
        ${EndIf}
        System::Call 'user32::GetWindowThreadProcessId(p r0, *i 0 r1)'
        System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r1) p .r2'
        System::Call "user32::PostMessage(p r0, i ${WM_COMMAND}, p ${IDM_EXIT}, p 0)"
        ${If} $2 P<> 0
            System::Call 'kernel32::WaitForSingleObject(p r2, i 5000)'
            System::Call 'kernel32::CloseHandle(p r2)'
        ${Else}
            Sleep 500
        ${EndIf}
        IntOp $3 $3 + 1
    ${Loop}
    Pop $3
    Pop $2
    Pop $1
    Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_CLOSE_RUNNING ""
!insertmacro DEFINE_CLOSE_RUNNING "un."

Section "Qelvaro" SecProgram
    SectionIn RO
    Call CloseRunningQelvaro
    SetOutPath "$INSTDIR"
    File "${STAGE}/qelvaro.exe"
    File "${STAGE}/README.txt"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\Qelvaro.lnk" "$INSTDIR\qelvaro.exe" "" "$INSTDIR\qelvaro.exe" 0 \
        SW_SHOWNORMAL "" "Type syllabics with Caps Lock"

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Qelvaro"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Tarnwell"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\qelvaro.exe,0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0

    ; A reinstall without the sign-in start must not keep the old one.
    DeleteRegValue HKCU "${RUN_KEY}" "Qelvaro"
SectionEnd

Section "Start Qelvaro when I sign in" SecAutostart
    WriteRegStr HKCU "${RUN_KEY}" "Qelvaro" '"$INSTDIR\qelvaro.exe"'
SectionEnd

Function .onInit
    SetShellVarContext current
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/NOAUTOSTART" $1
    ${IfNot} ${Errors}
        !insertmacro UnselectSection ${SecAutostart}
    ${EndIf}
FunctionEnd

Var RemoveSettings

Function un.onInit
    SetShellVarContext current
    StrCpy $RemoveSettings 0
    ${un.GetParameters} $0
    ClearErrors
    ${un.GetOptions} $0 "/REMOVESETTINGS" $1
    ${IfNot} ${Errors}
        StrCpy $RemoveSettings 1
    ${EndIf}
FunctionEnd

Section "Uninstall"
    Call un.CloseRunningQelvaro
    ; Only the files we put there: the folder may hold something of the user's.
    Delete "$INSTDIR\qelvaro.exe"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    ; Programs is shared with other per-user programs; RMDir leaves it unless it is empty.
    RMDir "$LOCALAPPDATA\Programs"
    Delete "$SMPROGRAMS\Qelvaro.lnk"
    DeleteRegValue HKCU "${RUN_KEY}" "Qelvaro"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"

    ; Settings are the user's, not ours: ask, and keep them when nobody can answer.
    ClearErrors
    EnumRegValue $0 HKCU "${SETTINGS_KEY}" 0
    ${If} $RemoveSettings = 0
    ${AndIfNot} ${Errors}
        MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 \
            "Also delete your Qelvaro settings (enabled, keyboard window, always on top)?" \
            /SD IDNO IDNO +2
        StrCpy $RemoveSettings 1
    ${EndIf}
    ${If} $RemoveSettings = 1
        DeleteRegKey HKCU "${SETTINGS_KEY}"
        DeleteRegKey /ifempty HKCU "Software\Tarnwell"
    ${EndIf}
SectionEnd
