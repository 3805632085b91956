# Installation of the programs, their desktop integration and the udev rule for the FTDI
# bridges, plus the Debian package built from that installation (cpack -G DEB).
# Each program is installed only when its target exists, so the rules work in builds that
# leave one out (-DVARKO5_BUILD_LOADER=OFF).
include(GNUInstallDirs)

foreach(program IN ITEMS lpfp_cli lpfp_loader lpfp_sim)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()

set(VARKO5_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

if(TARGET lpfp_loader)
    install(FILES ${VARKO5_PACKAGING_DIR}/lpfp_loader.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${VARKO5_PACKAGING_DIR}/icons/lpfp_loader.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

# Debian keeps the udev rules of its packages in /lib/udev/rules.d, so an installation into
# /usr (the Debian package, or a source install with --prefix /usr) puts the rule there; any
# other prefix keeps it below the prefix (/usr/local/lib/udev/rules.d by default), so that
# "cmake --install --prefix /some/folder" never writes outside that folder. The choice is made
# at install time because --prefix and cpack replace the configured prefix. file(INSTALL)
# adds DESTDIR itself.
set(VARKO5_UDEV_RULE ${VARKO5_PACKAGING_DIR}/udev/70-varko5-ftdi.rules)
install(CODE "
    if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
        set(varko5_udev_rules_dir \"/lib/udev/rules.d\")
    else()
        set(varko5_udev_rules_dir \"\${CMAKE_INSTALL_PREFIX}/lib/udev/rules.d\")
    endif()
    file(INSTALL DESTINATION \"\${varko5_udev_rules_dir}\" TYPE FILE
         PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
         FILES \"${VARKO5_UDEV_RULE}\")
")

# The Debian package, installed into /usr whatever prefix the build was configured with.
# Staging through DESTDIR lets the install step above see the prefix /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varko5-lpfp)
set(CPACK_PACKAGE_VENDOR "Varko 5")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(VARKO5_PACKAGE_CONTACT "Varko 5 LPFP maintainers <lpfp@varko5.invalid>"
    CACHE STRING "Maintainer named in the Debian package")
set(CPACK_PACKAGE_CONTACT ${VARKO5_PACKAGE_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Configuration tools for Varko 5 motor controllers")
set(CPACK_PACKAGE_DESCRIPTION
    "Reads, saves and applies the motor and application configuration of Varko 5 motor
controllers connected through an FTDI USB-serial bridge, with read-back verification.
Contains the desktop application lpfp_loader, the console tool lpfp_cli, the controller
simulator lpfp_sim and a udev rule that gives the logged-in user access to the bridge and
sets its latency timer to 1 ms.")
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${VARKO5_PACKAGING_DIR}/debian/postinst ${VARKO5_PACKAGING_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
