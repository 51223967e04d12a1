; Kestrel's Windows setup program, built by the Windows build's kestrel_packages target
; (scripts/package-windows.sh) with:
;   makensis -DVERSION=2.90 -DFILE_VERSION=2.90.0.0 -DKESTRELBAK=... -DKESTREL=... -DICON=...
;            -DTEMPLATES=... -DOUTFILE=... kestrel-setup.nsi
;
; Installs for the current user by default, with no administrator rights, into
; %LOCALAPPDATA%\Programs\Kestrel; run elevated with /ALLUSERS it installs for every user into
; Program Files. /S installs and uninstalls silently; /D=FOLDER (last) chooses the folder.
; What it writes: the two programs, the administrative templates (PolicyDefinitions) and the
; uninstaller, a Start menu shortcut, the uninstall entry and the .ksb file type. The uninstaller
; removes exactly those and nothing the programs made: backups, kestrel.log and the Replaced
; folder stay, and so do scheduled backups. A .ksb file type another program had set is kept in
; the uninstall entry and given back at uninstall.
; Neither replaces nor removes a program while it runs (the window, or a scheduled backup): it
; asks the user to close Kestrel first, and a silent run ends with status 32 instead.

Unicode true
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define PRODUCT "Kestrel"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrel"
!define FILE_TYPE "Kestrel.Backup"
!define CLASSES "Software\Classes"
!define PER_USER_DIR "$LOCALAPPDATA\Programs\Kestrel"
; SHCNE_ASSOCCHANGED, SHCNF_IDLIST: Explorer rereads file types and their icons.
!define NotifyAssociationsChanged "System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "${PER_USER_DIR}"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${FILE_VERSION}"
VIFileVersion "${FILE_VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PRODUCT}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\kestrelbak.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Kestrel"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; An all-users setup runs elevated, and so would the program it started: "Start Kestrel" is
; offered only to a setup for the current user.
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishPageShow
!insertmacro MUI_PAGE_FINISH

; Three lines fit above the folder box.
!define MUI_UNCONFIRMPAGE_TEXT_TOP "Your backups, kestrel.log and the Replaced folder are kept. \
Scheduled backups are kept too and will fail without Kestrel: remove them first with \
$\"kestrel schedule remove ID$\" or in the Task Scheduler (folder Kestrel)."
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; 1 when this run installs (or removes) for every user.
Var AllUsers

; Every later SHCTX and $SMPROGRAMS follows the mode chosen here.
!macro ChooseMode un
Function ${un}ChooseMode
    StrCpy $AllUsers 0
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/ALLUSERS" $1
    ${If} ${Errors}
        SetShellVarContext current
        Return
    ${EndIf}
    UserInfo::GetAccountType
    Pop $1
    ${If} $1 != "Admin"
        MessageBox MB_ICONSTOP|MB_OK "Installing or removing Kestrel for all users needs \
administrator rights: start it with $\"Run as administrator$\"." /SD IDOK
        SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
        Quit
    ${EndIf}
    StrCpy $AllUsers 1
    SetShellVarContext all
    SetRegView 64
FunctionEnd
!macroend
!insertmacro ChooseMode ""
!insertmacro ChooseMode "un."

Function .onInit
    ; The current user's default, read before the mode may switch $LOCALAPPDATA to all users.
    StrCpy $R9 "${PER_USER_DIR}"
    Call ChooseMode
    ; A folder given with /D= is kept; the default follows the mode.
    ${If} $AllUsers == 1
    ${AndIf} $INSTDIR == $R9
        StrCpy $INSTDIR "$PROGRAMFILES64\Kestrel"
    ${EndIf}
FunctionEnd

Function un.onInit
    Call un.ChooseMode
FunctionEnd

Function FinishPageShow
    ${If} $AllUsers == 1
        SendMessage $mui.FinishPage.Run ${BM_SETCHECK} ${BST_UNCHECKED} 0
        ShowWindow $mui.FinishPage.Run ${SW_HIDE}
        EnableWindow $mui.FinishPage.Run 0
    ${EndIf}
FunctionEnd

; Waits until no program of $INSTDIR runs: Windows lets no one write to a running program's
; file, which is how a running window or scheduled backup is told. Asks the user to close it;
; a silent run, or a user who cancels, ends here with status 32 (ERROR_SHARING_VIOLATION) and
; nothing replaced or removed.
!macro CloseRunningKestrel un
Function ${un}CloseRunningKestrel
    ${ForEach} $1 0 1 + 1
        ${If} $1 == 0
            StrCpy $2 "$INSTDIR\kestrelbak.exe"
        ${Else}
            StrCpy $2 "$INSTDIR\kestrel.exe"
        ${EndIf}
        ${DoWhile} ${FileExists} $2
            ClearErrors
            FileOpen $3 $2 a
            ${IfNot} ${Errors}
                FileClose $3
                ${Break}
            ${EndIf}
            MessageBox MB_ICONEXCLAMATION|MB_RETRYCANCEL "Kestrel is running ($2). Close its \
window, or let its backup or restore finish, then choose Retry." /SD IDCANCEL IDRETRY retry
            DetailPrint "Kestrel is running ($2): nothing was changed."
            SetErrorLevel 32
            Quit
            retry:
        ${Loop}
    ${Next}
FunctionEnd
!macroend
!insertmacro CloseRunningKestrel ""
!insertmacro CloseRunningKestrel "un."

Section "Kestrel"
    Call CloseRunningKestrel
    SetOutPath "$INSTDIR"
    File "/oname=kestrelbak.exe" "${KESTRELBAK}"
    File "/oname=kestrel.exe" "${KESTREL}"
    ; The administrative templates, for an administrator to copy into PolicyDefinitions.
    SetOutPath "$INSTDIR\PolicyDefinitions\en-US"
    File "${TEMPLATES}\en-US\Kestrel.adml"
    SetOutPath "$INSTDIR\PolicyDefinitions"
    File "${TEMPLATES}\Kestrel.admx"
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateShortCut "$SMPROGRAMS\Kestrel.lnk" "$INSTDIR\kestrelbak.exe" "" \
        "$INSTDIR\kestrelbak.exe" 0 SW_SHOWNORMAL "" "Back up and restore an Outlook profile"

    ; The file type: a double click on a .ksb file opens it on Kestrel's restore tab. The type
    ; another program gave .ksb is kept for the uninstall, which gives it back.
    ReadRegStr $1 SHCTX "${CLASSES}\.ksb" ""
    ${If} $1 != ""
    ${AndIf} $1 != "${FILE_TYPE}"
        WriteRegStr SHCTX "${UNINSTALL_KEY}" "PreviousKsbType" "$1"
    ${EndIf}
    WriteRegStr SHCTX "${CLASSES}\.ksb" "" "${FILE_TYPE}"
    WriteRegStr SHCTX "${CLASSES}\${FILE_TYPE}" "" "Kestrel backup"
    WriteRegStr SHCTX "${CLASSES}\${FILE_TYPE}\DefaultIcon" "" "$INSTDIR\kestrelbak.exe,0"
    WriteRegStr SHCTX "${CLASSES}\${FILE_TYPE}\shell\open\command" "" \
        '"$INSTDIR\kestrelbak.exe" "%1"'
    ${NotifyAssociationsChanged}

    ${If} $AllUsers == 1
        StrCpy $0 '"$INSTDIR\uninstall.exe" /ALLUSERS'
    ${Else}
        StrCpy $0 '"$INSTDIR\uninstall.exe"'
    ${EndIf}
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kestrelbak.exe,0"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" "$0"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" "$0 /S"
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $1
SectionEnd

Section "Uninstall"
    Call un.CloseRunningKestrel
    Delete "$INSTDIR\kestrelbak.exe"
    Delete "$INSTDIR\kestrel.exe"
    Delete "$INSTDIR\uninstall.exe"
    Delete "$INSTDIR\PolicyDefinitions\en-US\Kestrel.adml"
    RMDir "$INSTDIR\PolicyDefinitions\en-US"
    Delete "$INSTDIR\PolicyDefinitions\Kestrel.admx"
    RMDir "$INSTDIR\PolicyDefinitions"
    ; Only when empty: anything the user put there stays.
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\Kestrel.lnk"

    ; The extension only while it still names our type (another program may have taken it since);
    ; the type it had before setup goes back, while that program's type is still there.
    ReadRegStr $0 SHCTX "${CLASSES}\.ksb" ""
    ReadRegStr $1 SHCTX "${UNINSTALL_KEY}" "PreviousKsbType"
    ${If} $0 == "${FILE_TYPE}"
        ClearErrors
        EnumRegKey $2 SHCTX "${CLASSES}\$1" 0
        ${If} $1 != ""
        ${AndIfNot} ${Errors}
            WriteRegStr SHCTX "${CLASSES}\.ksb" "" "$1"
        ${Else}
            DeleteRegValue SHCTX "${CLASSES}\.ksb" ""
            DeleteRegKey /ifempty SHCTX "${CLASSES}\.ksb"
        ${EndIf}
    ${EndIf}
    DeleteRegKey SHCTX "${CLASSES}\${FILE_TYPE}"
    ${NotifyAssociationsChanged}
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"

    DetailPrint "Kept: backups, %LOCALAPPDATA%\Kestrel\kestrel.log and the Replaced folder."
    DetailPrint "Kept: scheduled backups in the Task Scheduler folder Kestrel; remove them there."
SectionEnd
