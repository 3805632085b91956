# Where udev reads the rules of installed packages: udevdir of udev's pkg-config file
# (/lib/udev on Debian 12, /usr/lib/udev where /usr is merged), plus rules.d. A packager may
# set VARKO5_UDEV_RULES_DIR; without udev.pc (package udev) the Debian 12 place is assumed.
if(NOT DEFINED CACHE{VARKO5_UDEV_RULES_DIR})
    find_package(PkgConfig REQUIRED)
    pkg_get_variable(varko5_udevdir udev udevdir)
    if(varko5_udevdir)
        set(varko5_udev_rules_default ${varko5_udevdir}/rules.d)
    else()
        set(varko5_udev_rules_default /lib/udev/rules.d)
        message(STATUS "udev.pc not found (package udev): the udev rule goes to ${varko5_udev_rules_default}")
    endif()
    set(VARKO5_UDEV_RULES_DIR ${varko5_udev_rules_default}
        CACHE PATH "Folder for the udev rule when installing into /usr (the packages)")
endif()
