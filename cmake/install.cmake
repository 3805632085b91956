# Installation of the programs, their manual pages, desktop integration and the udev rule for
# the FTDI bridges, and the two Debian packages built from that installation (cpack -G DEB):
#   varko5-lpfp-cli     (component cli)     lpfp_cli, lpfp_sim, the udev rule; no Qt, so a
#                                           headless bench does not pull in a desktop
#   varko5-lpfp-loader  (component loader)  lpfp_loader with its desktop entry, icon and
#                                           AppStream metadata; depends on varko5-lpfp-cli
# Each program is installed only when its target exists, so the rules work in builds that
# leave one out (-DVARKO5_BUILD_LOADER=OFF gives only the first package).
include(GNUInstallDirs)

set(VARKO5_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(VARKO5_PACKAGE_CLI varko5-lpfp-cli)
set(VARKO5_PACKAGE_LOADER varko5-lpfp-loader)

foreach(program IN ITEMS lpfp_cli lpfp_sim)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cli)
    endif()
endforeach()
if(TARGET lpfp_loader)
    install(TARGETS lpfp_loader RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT loader)
endif()

install(FILES ${VARKO5_MAN_PAGES_CLI} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT cli)
if(TARGET lpfp_loader)
    install(FILES ${VARKO5_MAN_PAGES_LOADER} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT loader)
endif()

# The maintainer the packages and their changelog name. The project has no mail address of its
# own, so it names whoever packages it: VARKO5_PACKAGE_CONTACT when given; else the packager as
# Debian's tools know them (DEBFULLNAME and DEBEMAIL, as dch reads them); else the author of
# the commit being packaged. The choice is kept in the cache, so rebuilding packs the same name;
# the placeholder older builds cached is chosen again.
if(NOT DEFINED CACHE{VARKO5_PACKAGE_CONTACT} OR VARKO5_PACKAGE_CONTACT STREQUAL
                                                 "Varko 5 LPFP maintainers <lpfp@varko5.invalid>")
    set(varko5_contact "")
    if(NOT "$ENV{DEBEMAIL}" STREQUAL "")
        set(varko5_contact "$ENV{DEBFULLNAME} <$ENV{DEBEMAIL}>")
        string(STRIP "${varko5_contact}" varko5_contact)
    else()
        find_package(Git QUIET)
        if(GIT_FOUND)
            execute_process(COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} log -1 "--format=%an <%ae>"
                            OUTPUT_VARIABLE varko5_contact OUTPUT_STRIP_TRAILING_WHITESPACE
                            RESULT_VARIABLE varko5_git_status ERROR_QUIET)
            if(NOT varko5_git_status EQUAL 0)
                set(varko5_contact "")
            endif()
        endif()
    endif()
    if(varko5_contact STREQUAL "")
        message(WARNING "No maintainer for the Debian packages: set VARKO5_PACKAGE_CONTACT "
                        "(\"Name <address>\") or DEBFULLNAME and DEBEMAIL")
        set(varko5_contact "Unknown packager <unknown@unknown.invalid>")
    endif()
    set(VARKO5_PACKAGE_CONTACT "${varko5_contact}" CACHE STRING "Maintainer named in the Debian packages" FORCE)
endif()

# AppStream metadata, dated by the changelog. The console tools' entry names the bridge chip of
# the controllers, so that a hardware lookup can find the package for a plugged-in bridge.
set(VARKO5_METAINFO_DIR ${PROJECT_BINARY_DIR}/metainfo)
foreach(component IN ITEMS cli loader)
    set(metainfo com.varko5.lpfp_${component}.metainfo.xml)
    configure_file(${VARKO5_PACKAGING_DIR}/metainfo/${metainfo}.in ${VARKO5_METAINFO_DIR}/${metainfo} @ONLY)
endforeach()
install(FILES ${VARKO5_METAINFO_DIR}/com.varko5.lpfp_cli.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT cli)

if(TARGET lpfp_loader)
    install(FILES ${VARKO5_PACKAGING_DIR}/com.varko5.lpfp_loader.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT loader)
    install(FILES ${VARKO5_PACKAGING_DIR}/icons/lpfp_loader.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT loader)
    install(FILES ${VARKO5_METAINFO_DIR}/com.varko5.lpfp_loader.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT loader)
endif()

# Each package carries the licence and the changelog in its own documentation folder, the
# changelog compressed as Debian does (gzip -9n).
# The changelog's entries are signed "@VARKO5_PACKAGE_CONTACT@" until a packager signs them with
# a name and address of their own (dch does).
configure_file(${VARKO5_CHANGELOG} ${PROJECT_BINARY_DIR}/changelog @ONLY)
add_custom_command(
    OUTPUT ${PROJECT_BINARY_DIR}/changelog.gz
    COMMAND ${VARKO5_GZIP} -9nc ${PROJECT_BINARY_DIR}/changelog > ${PROJECT_BINARY_DIR}/changelog.gz
    DEPENDS ${PROJECT_BINARY_DIR}/changelog)
add_custom_target(varko5_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/changelog.gz)
foreach(component IN ITEMS cli loader)
    string(TOUPPER ${component} upper)
    install(FILES ${VARKO5_PACKAGING_DIR}/debian/copyright ${PROJECT_BINARY_DIR}/changelog.gz
                  ${PROJECT_SOURCE_DIR}/README.md
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${VARKO5_PACKAGE_${upper}} COMPONENT ${component})
endforeach()
# The schemas of lpfp_cli --json and of the history's JSON, for the scripts that read them.
install(FILES ${PROJECT_SOURCE_DIR}/docs/lpfp_cli-result.schema.json
              ${PROJECT_SOURCE_DIR}/docs/records-history.schema.json
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${VARKO5_PACKAGE_CLI} COMPONENT cli)

# Bash completion of lpfp_cli, made from its option table at build time, where bash-completion
# loads it on demand.
if(TARGET lpfp_cli)
    install(FILES ${VARKO5_CLI_BASH_COMPLETION}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT cli)
endif()

# The udev rule goes where udev reads packaged rules (VARKO5_UDEV_RULES_DIR) when the
# installation is into /usr (the packages, or a source install with --prefix /usr); any other
# prefix keeps it below the prefix (/usr/local/lib/udev/rules.d by default), so that
# "cmake --install --prefix /some/folder" never writes outside that folder. The choice is made
# at install time because --prefix and cpack replace the configured prefix. file(INSTALL)
# adds DESTDIR itself.
set(VARKO5_UDEV_RULE ${VARKO5_PACKAGING_DIR}/udev/70-varko5-ftdi.rules)
install(CODE "
    if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
        set(varko5_udev_rules_dir \"${VARKO5_UDEV_RULES_DIR}\")
    else()
        set(varko5_udev_rules_dir \"\${CMAKE_INSTALL_PREFIX}/lib/udev/rules.d\")
    endif()
    file(INSTALL DESTINATION \"\${varko5_udev_rules_dir}\" TYPE FILE
         PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
         FILES \"${VARKO5_UDEV_RULE}\")
" COMPONENT cli)

# The packages, installed into /usr whatever prefix the build was configured with. Staging
# through DESTDIR lets the install step above see the prefix /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varko5-lpfp)
set(CPACK_PACKAGE_VENDOR "Varko 5")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${VARKO5_PACKAGE_CONTACT})
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL cli)
if(TARGET lpfp_loader)
    list(APPEND CPACK_COMPONENTS_ALL loader)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Reproducible packages: cpack reads cmake/cpack_reproducible.cmake before it packs, which sets
# SOURCE_DATE_EPOCH (when the caller has not) to the time of the last commit, so two package
# builds of one commit are byte for byte the same.
configure_file(${PROJECT_SOURCE_DIR}/cmake/cpack_reproducible.cmake.in
               ${PROJECT_BINARY_DIR}/cpack_reproducible.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/cpack_reproducible.cmake)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

# Description lines stay within 80 characters (Debian policy); the first line is the summary.
set(CPACK_DEBIAN_CLI_PACKAGE_NAME ${VARKO5_PACKAGE_CLI})
set(CPACK_DEBIAN_CLI_DESCRIPTION "console tools for Varko 5 motor controller configurations
Reads, saves and applies the motor and application configuration of Varko 5
motor controllers connected through an FTDI USB-serial bridge, with read-back
verification, and converts between XML documents and LPFP files.
.
Contains the console tool lpfp_cli, the controller simulator lpfp_sim, bash
completion and a udev rule that gives the logged-in user access to FTDI bridges
and sets the latency timer of R-series bridges to 1 ms. Needs no graphical
desktop.")
set(CPACK_DEBIAN_CLI_PACKAGE_CONTROL_EXTRA
    ${VARKO5_PACKAGING_DIR}/debian/postinst ${VARKO5_PACKAGING_DIR}/debian/postrm)
# The single package of earlier builds held the same files.
set(CPACK_DEBIAN_CLI_PACKAGE_CONFLICTS varko5-lpfp)
set(CPACK_DEBIAN_CLI_PACKAGE_REPLACES varko5-lpfp)

set(CPACK_DEBIAN_LOADER_PACKAGE_NAME ${VARKO5_PACKAGE_LOADER})
set(CPACK_COMPONENT_LOADER_DEPENDS cli)
set(CPACK_DEBIAN_LOADER_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_LOADER_DESCRIPTION "desktop application for Varko 5 motor controller configurations
The LPFP Configuration Loader shows one panel for each Varko 5 motor controller
connected through its FTDI USB-serial bridge. It saves the current or factory
configuration of a controller and applies LPFP files to it, verifying every
write by reading the configuration back; its advanced mode also works with XML
documents and converts between the two forms.
.
The command-line tools and the udev rule come with varko5-lpfp-cli.")
set(CPACK_DEBIAN_LOADER_PACKAGE_CONFLICTS varko5-lpfp)
set(CPACK_DEBIAN_LOADER_PACKAGE_REPLACES varko5-lpfp)
include(CPack)
