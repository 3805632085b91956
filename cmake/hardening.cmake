# Debian's hardening flags, as dpkg-buildflags reports them, for the programs that go into the
# packages: stack protector, _FORTIFY_SOURCE, format-string checks, read-only relocations and
# immediate binding. Optimisation and debug information stay with CMAKE_BUILD_TYPE, so those
# flags are left out. DEB_BUILD_MAINT_OPTIONS from the environment is honoured; without it
# every hardening feature is asked for (hardening=+all), as Debian's packages usually do.
option(VARKO5_HARDENING "Compile and link with the hardening flags of dpkg-buildflags" OFF)

if(VARKO5_HARDENING)
    if(VARKO5_SANITIZE OR VARKO5_FUZZ)
        # _FORTIFY_SOURCE replaces the functions the sanitizers intercept.
        message(FATAL_ERROR "VARKO5_HARDENING is for the packaged programs; "
                            "it does not go with VARKO5_SANITIZE or VARKO5_FUZZ")
    endif()
    find_program(VARKO5_DPKG_BUILDFLAGS dpkg-buildflags)
    if(NOT VARKO5_DPKG_BUILDFLAGS)
        message(FATAL_ERROR "VARKO5_HARDENING needs dpkg-buildflags (Debian package dpkg-dev)")
    endif()
    if(DEFINED ENV{DEB_BUILD_MAINT_OPTIONS})
        set(varko5_maint_options "$ENV{DEB_BUILD_MAINT_OPTIONS}")
    else()
        set(varko5_maint_options "hardening=+all")
    endif()

    # varko5_buildflags(VARIABLE OUT): the flags dpkg-buildflags gives for VARIABLE, as a list,
    # without optimisation, debug information and path remapping.
    function(varko5_buildflags variable out)
        execute_process(
            COMMAND ${CMAKE_COMMAND} -E env "DEB_BUILD_MAINT_OPTIONS=${varko5_maint_options}"
                    ${VARKO5_DPKG_BUILDFLAGS} --get ${variable}
            OUTPUT_VARIABLE text
            OUTPUT_STRIP_TRAILING_WHITESPACE
            COMMAND_ERROR_IS_FATAL ANY)
        separate_arguments(flags UNIX_COMMAND "${text}")
        list(FILTER flags EXCLUDE REGEX "^-(O.*|g.*|f(file|debug|macro)-prefix-map=.*)$")
        set(${out} ${flags} PARENT_SCOPE)
    endfunction()

    # CMake does not read CPPFLAGS, so the preprocessor's share goes with the compiler's.
    varko5_buildflags(CPPFLAGS varko5_cppflags)
    varko5_buildflags(CXXFLAGS varko5_cxxflags)
    varko5_buildflags(LDFLAGS varko5_ldflags)
    message(STATUS "Hardening (${varko5_maint_options}): ${varko5_cppflags} ${varko5_cxxflags} ${varko5_ldflags}")
    add_compile_options(${varko5_cppflags} ${varko5_cxxflags})
    add_link_options(${varko5_ldflags})
endif()
