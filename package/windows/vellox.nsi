; The Windows installer of Vellox: the window program, the command line, the demo and its
; sample image in one folder under Program Files, for all users of the machine. Made by
; scripts/package-windows.sh, which passes:
;   -DVERSION=x.y.z      the project's version
;   -DFILES=DIR          the folder holding the four files to install
;   -DARTWORK=DIR        artwork/ (the icon)
;   -DOUTFILE=PATH       the installer to write
;   -DTARGET=NAME        x86-unicode (shipped, the default) or amd64-unicode (the tests' build)
; With /S it runs silently, and so does its uninstaller; /D=FOLDER picks the folder.

!macro REQUIRE name
  !ifndef ${name}
    !error "${name} is not defined (see scripts/package-windows.sh)"
  !endif
!macroend
!insertmacro REQUIRE VERSION
!insertmacro REQUIRE FILES
!insertmacro REQUIRE ARTWORK
!insertmacro REQUIRE OUTFILE
!ifndef TARGET
  !define TARGET x86-unicode
!endif

Unicode true
Target ${TARGET}
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include WinVer.nsh
!include FileFunc.nsh

!define PRODUCT Vellox
!define PUBLISHER "The Vellox developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vellox"
!define UNINSTALLER "Uninstall.exe"
!define MENU_FOLDER "$SMPROGRAMS\Vellox"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
!if "${TARGET}" == "amd64-unicode"
  InstallDir "$PROGRAMFILES64\${PRODUCT}"
!else
  InstallDir "$PROGRAMFILES\${PRODUCT}"
!endif
; An installed copy is updated where it is.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) ${PUBLISHER}. MIT licence"

!define MUI_ICON "${ARTWORK}/icon.ico"
!define MUI_UNICON "${ARTWORK}/icon.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\vellox.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT}"

!insertmacro MUI_PAGE_LICENSE "${__FILEDIR__}\..\..\LICENSE"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Per machine: administrators only, shortcuts in the menu of all users. The programs need
; Windows 7 or later.
!macro CHECKS un
  Function ${un}.onInit
    SetShellVarContext all
    ${IfNot} ${AtLeastWin7}
      MessageBox MB_ICONSTOP|MB_OK "${PRODUCT} needs Windows 7 or later." /SD IDOK
      SetErrorLevel 1
      Abort
    ${EndIf}
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "admin"
      MessageBox MB_ICONSTOP|MB_OK "Administrator rights are needed to change ${PRODUCT} for all users." /SD IDOK
      SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
      Abort
    ${EndIf}
  FunctionEnd
!macroend
!insertmacro CHECKS ""
!insertmacro CHECKS "un"

Section "Vellox"
  SetOutPath "$INSTDIR"
  File "${FILES}/vellox.exe"
  File "${FILES}/vellox-cli.exe"
  File "${FILES}/vellox-demo.exe"
  File "${FILES}/vellox-sample.bin"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  ; The shortcuts start in the installation folder, where the demo's sample image is.
  CreateDirectory "${MENU_FOLDER}"
  CreateShortcut "${MENU_FOLDER}\Vellox.lnk" "$INSTDIR\vellox.exe" "" "$INSTDIR\vellox.exe" 0
  CreateShortcut "${MENU_FOLDER}\Vellox demo.lnk" "$INSTDIR\vellox-demo.exe" "" "$INSTDIR\vellox-demo.exe" 0
  CreateShortcut "${MENU_FOLDER}\Uninstall Vellox.lnk" "$INSTDIR\${UNINSTALLER}"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vellox.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Takes away exactly what the installer put there; the folder goes only when nothing else was
; put into it.
Section "Uninstall"
  Delete "$INSTDIR\vellox.exe"
  Delete "$INSTDIR\vellox-cli.exe"
  Delete "$INSTDIR\vellox-demo.exe"
  Delete "$INSTDIR\vellox-sample.bin"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"

  Delete "${MENU_FOLDER}\Vellox.lnk"
  Delete "${MENU_FOLDER}\Vellox demo.lnk"
  Delete "${MENU_FOLDER}\Uninstall Vellox.lnk"
  RMDir "${MENU_FOLDER}"

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
