; The setup program: installs the player for the whole machine into Program
; Files, by components, with Start menu entries and an uninstaller that
; Add/Remove Programs lists.  make_dist.py builds it with VERSION, SETUP
; and FILES (the macros that install and remove each component's files).
;
; Silent use:  setup.exe /S [/COMPONENTS=a,b,...] [/D=folder]
; /COMPONENTS names exactly the optional components wanted (drivers, screen,
; console, bench, startup); without it the usual ones are chosen.
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh

; Names the player defines, read from its sources so that each stays one.
!define APP_SOURCES "${__FILEDIR__}/../app"
!searchparse /file "${APP_SOURCES}/product.h" `#define PRODUCT_NAME "` PRODUCT_NAME `"`
!searchparse /file "${APP_SOURCES}/product.h" `#define COMPANY_NAME "` COMPANY_NAME `"`
!searchparse /file "${APP_SOURCES}/product.h" `#define COPYRIGHT_TEXT "` COPYRIGHT_PREFIX `" COMPANY_NAME`
!searchparse /file "${APP_SOURCES}/app.h" `#define MAIN_WINDOW_CLASS "` MAIN_WINDOW_CLASS `"`
!searchparse /file "${APP_SOURCES}/mainwnd.cpp" `#define HELP_PAGE_NAME "` HELP_PAGE_NAME_C `"`
!searchparse /file "${APP_SOURCES}/mainwnd.cpp" `#define HELP_PAGE_EXTENSION "` HELP_PAGE_EXTENSION `"`
!searchparse /file "${APP_SOURCES}/settings.h" `#define REG_BASE_KEY "` REG_BASE_KEY_C `"`
!searchparse /file "${APP_SOURCES}/settings.h" `#define REG_KEY_CONTROL "` REG_KEY_CONTROL `"`
!searchparse /file "${APP_SOURCES}/settings.h" `#define REG_KEY_DEBUG "` REG_KEY_DEBUG `"`
!searchparse /file "${APP_SOURCES}/settings.h" `#define REG_STARTUP_IMAGE "` REG_STARTUP_IMAGE `"`
!searchparse /file "${APP_SOURCES}/settings.h" `#define REG_CLOSEDOWN_IMAGE "` REG_CLOSEDOWN_IMAGE `"`
!searchparse /file "${APP_SOURCES}/settings.h" `#define REG_TRACE_FILE "` REG_TRACE_FILE `"`
!searchparse /file "${APP_SOURCES}/settings.h" `#define DEFAULT_TRACE_FILE "` DEFAULT_TRACE_FILE `"`
; C strings double their backslashes.
!searchreplace HELP_PAGE_NAME "${HELP_PAGE_NAME_C}" "\\" "\"
!searchreplace REG_BASE_KEY "${REG_BASE_KEY_C}" "\\" "\"

!define SHORT_NAME "hrx"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${SHORT_NAME}"
; The bench decoder that the setup put down, by its path, in the uninstall
; key: only that file may a later setup replace, and the uninstaller remove.
!define BENCH_VALUE "BenchDecoder"
; The trace log's folder: a folder of the machine that every user may write
; ($APPDATA is the machine's, ProgramData, as the shell folders are all
; users' here).
!define LOG_FOLDER "$APPDATA\${SHORT_NAME}"
!define MENU_FOLDER "$SMPROGRAMS\${PRODUCT_NAME}"
!define PLAYER_SHORTCUT "${MENU_FOLDER}\${PRODUCT_NAME}.lnk"
!define HELP_SHORTCUT "${MENU_FOLDER}\${PRODUCT_NAME} Help.lnk"
!define CONSOLE_SHORTCUT "${MENU_FOLDER}\Controller console (ldpctl).lnk"
!define STARTUP_SHORTCUT "$SMSTARTUP\${PRODUCT_NAME}.lnk"

Name "${PRODUCT_NAME} ${VERSION}"
OutFile "${SETUP}"
InstallDir "$PROGRAMFILES\${SHORT_NAME}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT_NAME} ${VERSION}"

!define MUI_COMPONENTSPAGE_SMALLDESC
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT_NAME}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${COMPANY_NAME}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "${COPYRIGHT_PREFIX}${COMPANY_NAME}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "Setup of ${PRODUCT_NAME}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"

!include "${FILES}"

; A running player holds its files: the setup and the uninstaller end at
; once, with error level 2, rather than leave half of them replaced.
!macro REFUSE_WHILE_PLAYER_RUNS
  FindWindow $0 "${MAIN_WINDOW_CLASS}"
  ${If} $0 <> 0
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT_NAME} is running. Close it, then start again." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
!macroend

; Writes a text setting of the user who installs when it has none yet.
!macro SET_WHEN_MISSING SUB_KEY NAME TEXT
  ClearErrors
  ReadRegStr $0 HKCU "${REG_BASE_KEY}\${SUB_KEY}" "${NAME}"
  ${If} ${Errors}
    WriteRegStr HKCU "${REG_BASE_KEY}\${SUB_KEY}" "${NAME}" "${TEXT}"
  ${EndIf}
!macroend

Section "${PRODUCT_NAME} and its help pages" SecPlayer
  SectionIn RO
  !insertmacro INSTALL_player
  ; A shortcut starts its program in the output folder: the player finds
  ; its help pages relative to it.
  SetOutPath "$INSTDIR"
  CreateDirectory "${MENU_FOLDER}"
  CreateShortCut "${PLAYER_SHORTCUT}" "$INSTDIR\${PLAYER_FILE}"
  CreateShortCut "${HELP_SHORTCUT}" "$INSTDIR\${HELP_PAGE_NAME}.${HELP_PAGE_EXTENSION}"
  Call PrepareTraceLog
SectionEnd

Section "VideoQuest and VideoPlex driver libraries" SecDrivers
  !insertmacro INSTALL_drivers
SectionEnd

Section "Screen boards" SecScreen
  !insertmacro INSTALL_screen
  !insertmacro SET_WHEN_MISSING "${REG_KEY_CONTROL}" "${REG_STARTUP_IMAGE}" "$INSTDIR\${OPENING_STILL}"
  !insertmacro SET_WHEN_MISSING "${REG_KEY_CONTROL}" "${REG_CLOSEDOWN_IMAGE}" "$INSTDIR\${CLOSING_STILL}"
SectionEnd

Section "Controller console (ldpctl)" SecConsole
  !insertmacro INSTALL_console
  ; A console program: the entry opens a command prompt in the install
  ; folder that shows how to call it.
  SetOutPath "$INSTDIR"
  CreateShortCut "${CONSOLE_SHORTCUT}" "$SYSDIR\cmd.exe" "/k ${CONSOLE_FILE} -h"
SectionEnd

Section /o "Bench decoder (RtdSdk.dll)" SecBench
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "${BENCH_VALUE}"
  ${If} ${FileExists} "$INSTDIR\${BENCH_FILE}"
  ${AndIf} $0 != "$INSTDIR\${BENCH_FILE}"
    DetailPrint "${BENCH_FILE} is already there and stays: the bench decoder is left out"
  ${Else}
    !insertmacro INSTALL_bench
    WriteRegStr HKLM "${UNINSTALL_KEY}" "${BENCH_VALUE}" "$INSTDIR\${BENCH_FILE}"
  ${EndIf}
SectionEnd

Section /o "Start ${PRODUCT_NAME} when Windows starts" SecStartup
  SetOutPath "$INSTDIR"
  CreateShortCut "${STARTUP_SHORTCUT}" "$INSTDIR\${PLAYER_FILE}"
SectionEnd

Section "-Registration"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT_NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${COMPANY_NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PLAYER_FILE}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecPlayer} "The player hrx.exe and the help pages it opens."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecDrivers} "KSmpeg.dll and OSmpeg.dll, for VideoQuest and VideoPlex decoder boards (they need the board vendor's RtdSdk.dll)."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecScreen} "SWmpeg.dll with FFmpeg and SWmpeg.ini: boards shown in windows on this PC's displays, with opening and closing stills."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecConsole} "ldpctl.exe, which sends a show controller's commands to a player for commissioning."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecBench} "A RtdSdk.dll that simulates decoder boards, for a PC without boards. Never replaces the vendor's."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecStartup} "Starts the player when anyone logs on to Windows."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; The trace log goes to a folder of the machine that every user may write
; (the install folder is not): that folder and, for the user who installs,
; the TraceFile setting when it is missing or still the default, which is
; relative to the player's folder.
Function PrepareTraceLog
  CreateDirectory "${LOG_FOLDER}"
  ; Users: modify, inherited by the log and the trim's temporary file.
  ; Windows before Vista has no icacls; its default lets users write there.
  nsExec::Exec '"$SYSDIR\icacls.exe" "${LOG_FOLDER}" /grant *S-1-5-32-545:(OI)(CI)M'
  Pop $0
  ReadRegStr $0 HKCU "${REG_BASE_KEY}\${REG_KEY_DEBUG}" "${REG_TRACE_FILE}"
  ${If} $0 == ""
  ${OrIf} $0 == "${DEFAULT_TRACE_FILE}"
    WriteRegStr HKCU "${REG_BASE_KEY}\${REG_KEY_DEBUG}" "${REG_TRACE_FILE}" "${LOG_FOLDER}\${DEFAULT_TRACE_FILE}"
  ${EndIf}
FunctionEnd

; /COMPONENTS=a,b,...: exactly the optional components named; an unknown
; name ends the setup with error level 2.
Function SelectListedComponents
  !insertmacro UnselectSection ${SecDrivers}
  !insertmacro UnselectSection ${SecScreen}
  !insertmacro UnselectSection ${SecConsole}
  !insertmacro UnselectSection ${SecBench}
  !insertmacro UnselectSection ${SecStartup}
  StrCpy $1 ""
  StrCpy $0 "$0,"
  ${Do}
    StrCpy $2 $0 1
    StrCpy $0 $0 "" 1
    ${If} $2 == ","
      Call SelectComponentNamed
      StrCpy $1 ""
    ${Else}
      StrCpy $1 "$1$2"
    ${EndIf}
  ${LoopUntil} $0 == ""
FunctionEnd

Function SelectComponentNamed
  ${Select} $1
    ${Case} ""
    ${Case} "drivers"
      !insertmacro SelectSection ${SecDrivers}
    ${Case} "screen"
      !insertmacro SelectSection ${SecScreen}
    ${Case} "console"
      !insertmacro SelectSection ${SecConsole}
    ${Case} "bench"
      !insertmacro SelectSection ${SecBench}
    ${Case} "startup"
      !insertmacro SelectSection ${SecStartup}
    ${CaseElse}
      MessageBox MB_OK|MB_ICONSTOP "Unknown component: $1" /SD IDOK
      SetErrorLevel 2
      Quit
  ${EndSelect}
FunctionEnd

Function .onInit
  SetShellVarContext all
  !insertmacro REFUSE_WHILE_PLAYER_RUNS
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/COMPONENTS=" $0
  ${IfNot} ${Errors}
    Call SelectListedComponents
  ${EndIf}
FunctionEnd

Function un.onInit
  SetShellVarContext all
  !insertmacro REFUSE_WHILE_PLAYER_RUNS
FunctionEnd

; Removes what the setup put down; the player's settings, the trace log
; and anything else in the folders stay.
Section "Uninstall"
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "${BENCH_VALUE}"
  !insertmacro REMOVE_player
  !insertmacro REMOVE_drivers
  !insertmacro REMOVE_screen
  !insertmacro REMOVE_console
  ${If} $0 == "$INSTDIR\${BENCH_FILE}"
    !insertmacro REMOVE_bench
  ${EndIf}
  Delete "$INSTDIR\uninstall.exe"
  !insertmacro REMOVE_FOLDERS
  RMDir "$INSTDIR"
  Delete "${PLAYER_SHORTCUT}"
  Delete "${HELP_SHORTCUT}"
  Delete "${CONSOLE_SHORTCUT}"
  Delete "${STARTUP_SHORTCUT}"
  RMDir "${MENU_FOLDER}"
  RMDir "${LOG_FOLDER}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
