# The version of the programs comes from project(... VERSION ...) alone: this header carries
# it into the code (lpfp_cli --version, the desktop's About box), and the packages and manual
# pages take PROJECT_VERSION directly.
configure_file(${CMAKE_CURRENT_LIST_DIR}/varko5_version.h.in ${PROJECT_BINARY_DIR}/generated/varko5_version.h
               @ONLY)
add_library(varko5_version INTERFACE)
target_include_directories(varko5_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
