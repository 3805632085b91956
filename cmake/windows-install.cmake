# Installation and packages of the Windows build (cpack): a ZIP and a 64-bit NSIS installer,
# each with lpfp_cli.exe, the README, the licence and the JSON schema of lpfp_cli's result
# document; with lpfp_loader.exe and the Qt DLLs it needs when the loader is built (with the
# Qt prefix of scripts/windows-qt.sh). Everything goes into one folder, as Windows programs
# find their DLLs beside the executable.
install(TARGETS lpfp_cli RUNTIME DESTINATION . COMPONENT cli)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION . COMPONENT cli)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt COMPONENT cli)
install(FILES ${PROJECT_SOURCE_DIR}/docs/lpfp_cli-result.schema.json DESTINATION . COMPONENT cli)

if(TARGET lpfp_loader)
    install(TARGETS lpfp_loader RUNTIME DESTINATION . COMPONENT loader)
    # windeployqt does not run here: the DLLs a Widgets program loads, listed by hand. The
    # mingw runtime DLLs are Qt's (the programs themselves are linked statically).
    # Qt's imported targets are visible only in the folder that found them (loader/).
    find_package(Qt5 REQUIRED COMPONENTS Core)
    get_target_property(varko5_qt_core Qt5::Core IMPORTED_LOCATION_RELEASE)
    get_filename_component(varko5_qt_bin ${varko5_qt_core} DIRECTORY)
    get_filename_component(varko5_qt_prefix ${varko5_qt_bin} DIRECTORY)
    install(FILES
        ${varko5_qt_bin}/Qt5Core.dll ${varko5_qt_bin}/Qt5Gui.dll ${varko5_qt_bin}/Qt5Widgets.dll
        ${varko5_qt_bin}/libstdc++-6.dll ${varko5_qt_bin}/libgcc_s_seh-1.dll ${varko5_qt_bin}/libwinpthread-1.dll
        DESTINATION . COMPONENT loader)
    install(FILES ${varko5_qt_prefix}/plugins/platforms/qwindows.dll DESTINATION platforms COMPONENT loader)
    install(FILES ${varko5_qt_prefix}/plugins/styles/qwindowsvistastyle.dll DESTINATION styles COMPONENT loader)
endif()

set(CPACK_PACKAGE_NAME varko5-lpfp)
set(CPACK_PACKAGE_VENDOR "Varko")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Configuration tools for Varko 5 motor controllers")
set(CPACK_PACKAGE_FILE_NAME varko5-lpfp-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Varko5 LPFP")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Varko5 LPFP")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_PACKAGE_CHECKSUM SHA256)
# The programs are packed without their debug information (gdb's DWARF, of no use to a Windows
# user, would make up most of every executable).
set(CPACK_STRIP_FILES ON)

# NSIS: a 64-bit installer (wine64 and 64-bit Windows skip nothing), into Program Files, with
# an uninstaller that removes what it installed; no start-menu entry for a console tool.
# makensis's default stub is 32-bit; the target has to be chosen before the script starts,
# which packaging/windows/makensis-amd64 does (CPack splits its own makensis arguments at
# spaces).
set(CPACK_NSIS_EXECUTABLE ${PROJECT_SOURCE_DIR}/packaging/windows/makensis-amd64)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_DISPLAY_NAME "Varko5 LPFP ${PROJECT_VERSION}")
set(CPACK_NSIS_PACKAGE_NAME "Varko5 LPFP")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MODIFY_PATH OFF)
if(TARGET lpfp_loader)
    set(CPACK_PACKAGE_EXECUTABLES lpfp_loader "LPFP Configuration Loader")
endif()
include(CPack)
