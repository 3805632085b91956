# Manual pages of the three programs, compressed as Debian installs them (gzip -9n: no name or
# time stamp inside, so the same sources give the same bytes). lpfp_cli's page is made by
# help2man from the program's own --help and --version, so its option list cannot fall behind;
# lpfp_loader has no command line to read and lpfp_sim takes one scenario, so theirs are
# written by hand. All three carry the version of project() and the release date of the
# changelog. Without help2man the lpfp_cli page is left out (the package test notices).
# Sets VARKO5_MAN_PAGES_CLI and VARKO5_MAN_PAGES_LOADER, the compressed pages of each package.
include(${CMAKE_CURRENT_LIST_DIR}/release.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/udev.cmake)

set(VARKO5_MAN_SOURCE_DIR ${PROJECT_SOURCE_DIR}/packaging/man)
set(VARKO5_MAN_DIR ${PROJECT_BINARY_DIR}/man)
find_program(VARKO5_HELP2MAN help2man)
find_program(VARKO5_GZIP gzip REQUIRED)

set(VARKO5_MAN_PAGES_CLI)
set(VARKO5_MAN_PAGES_LOADER)

# varko5_compress(PAGE OUT_VARIABLE): a rule that makes PAGE.gz next to PAGE.
function(varko5_compress page out)
    add_custom_command(
        OUTPUT ${page}.gz
        COMMAND ${VARKO5_GZIP} -9nkf ${page}
        DEPENDS ${page}
        VERBATIM)
    set(${out} ${page}.gz PARENT_SCOPE)
endfunction()

if(TARGET lpfp_cli)
    if(VARKO5_HELP2MAN)
        configure_file(${VARKO5_MAN_SOURCE_DIR}/lpfp_cli.h2m.in ${VARKO5_MAN_DIR}/lpfp_cli.h2m @ONLY)
        # Run through PATH, so that the synopsis names "lpfp_cli" rather than the build path.
        add_custom_command(
            OUTPUT ${VARKO5_MAN_DIR}/lpfp_cli.1
            COMMAND ${CMAKE_COMMAND} -E env --unset=VARKO5_SIMULATOR --unset=VARKO5_PORTS
                    "PATH=$<TARGET_FILE_DIR:lpfp_cli>:/usr/bin:/bin" SOURCE_DATE_EPOCH=${VARKO5_RELEASE_EPOCH}
                    ${VARKO5_HELP2MAN} --no-info --section=1 --include=${VARKO5_MAN_DIR}/lpfp_cli.h2m
                    --output=${VARKO5_MAN_DIR}/lpfp_cli.1 lpfp_cli
            DEPENDS lpfp_cli ${VARKO5_MAN_DIR}/lpfp_cli.h2m
            VERBATIM)
        varko5_compress(${VARKO5_MAN_DIR}/lpfp_cli.1 page)
        list(APPEND VARKO5_MAN_PAGES_CLI ${page})
    else()
        message(STATUS "help2man not found: lpfp_cli gets no manual page")
    endif()
endif()

foreach(program IN ITEMS lpfp_sim lpfp_loader)
    if(TARGET ${program})
        configure_file(${VARKO5_MAN_SOURCE_DIR}/${program}.1.in ${VARKO5_MAN_DIR}/${program}.1 @ONLY)
        varko5_compress(${VARKO5_MAN_DIR}/${program}.1 page)
        if(program STREQUAL "lpfp_loader")
            list(APPEND VARKO5_MAN_PAGES_LOADER ${page})
        else()
            list(APPEND VARKO5_MAN_PAGES_CLI ${page})
        endif()
    endif()
endforeach()

add_custom_target(varko5_man_pages ALL DEPENDS ${VARKO5_MAN_PAGES_CLI} ${VARKO5_MAN_PAGES_LOADER})
