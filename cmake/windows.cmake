# Settings of the Windows build (cmake/mingw-w64-x86_64.cmake cross-compiles it from Debian).
#
# Statically linked: lpfp_cli.exe and the tests need only the DLLs of Windows itself. Wide
# (UTF-16) Windows APIs throughout; the programs keep text in UTF-8 and convert at the API.
add_link_options(-static)
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
# Log lines end with a single line feed, as on Linux (spdlog would end them with CR LF).
add_compile_definitions([[SPDLOG_EOL="\n"]])

# Part of every program: a crash ends the process with a non-zero status at once (no dialog,
# no debugger prompt, never a status of 0), and the manifest that makes the process code page
# UTF-8 and lifts the 260-character path limit where Windows allows it.
add_library(varko5_windows_program OBJECT
    ${PROJECT_SOURCE_DIR}/core/windows/crash_exit.cpp
    ${PROJECT_SOURCE_DIR}/core/windows/program.rc)
enable_language(RC)
set_source_files_properties(${PROJECT_SOURCE_DIR}/core/windows/program.rc PROPERTIES
    OBJECT_DEPENDS ${PROJECT_SOURCE_DIR}/core/windows/program.manifest)

# varko5_windows_programs(): links the above into every executable defined so far.
function(varko5_windows_programs)
    set(folders ${PROJECT_SOURCE_DIR})
    while(folders)
        list(POP_FRONT folders folder)
        get_property(targets DIRECTORY ${folder} PROPERTY BUILDSYSTEM_TARGETS)
        foreach(target IN LISTS targets)
            get_target_property(type ${target} TYPE)
            if(type STREQUAL "EXECUTABLE")
                target_link_libraries(${target} PRIVATE varko5_windows_program)
            endif()
        endforeach()
        get_property(below DIRECTORY ${folder} PROPERTY SUBDIRECTORIES)
        list(APPEND folders ${below})
    endwhile()
endfunction()
