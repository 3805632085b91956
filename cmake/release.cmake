# The release the packaging describes: the newest entry of packaging/debian/changelog. Its
# version must be the one in project(); its date dates the manual pages and the AppStream
# release, so that rebuilding the same release gives the same files.
#   VARKO5_RELEASE_DATE   2026-12-07
#   VARKO5_RELEASE_MONTH  December 2026
#   VARKO5_RELEASE_EPOCH  seconds since 1970 (SOURCE_DATE_EPOCH for help2man)
set(VARKO5_CHANGELOG ${PROJECT_SOURCE_DIR}/packaging/debian/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VARKO5_CHANGELOG})
file(STRINGS ${VARKO5_CHANGELOG} varko5_changelog_head LIMIT_COUNT 1 REGEX "^[a-z0-9.+-]+ \\(")
file(STRINGS ${VARKO5_CHANGELOG} varko5_changelog_trailer LIMIT_COUNT 1 REGEX "^ -- ")
string(REGEX MATCH "\\(([^)]+)\\)" _ "${varko5_changelog_head}")
set(varko5_changelog_version "${CMAKE_MATCH_1}")
if(NOT varko5_changelog_version STREQUAL PROJECT_VERSION)
    message(WARNING "packaging/debian/changelog begins with version '${varko5_changelog_version}' but "
                    "project() says ${PROJECT_VERSION}: add a changelog entry for ${PROJECT_VERSION}")
endif()

if(NOT varko5_changelog_trailer MATCHES "  [A-Z][a-z][a-z], ([0-9]+) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
    message(FATAL_ERROR "packaging/debian/changelog: no date in the first entry's trailer line")
endif()
set(varko5_day ${CMAKE_MATCH_1})
set(varko5_month_abbreviation ${CMAKE_MATCH_2})
set(varko5_year ${CMAKE_MATCH_3})
set(varko5_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
set(varko5_month_names January February March April May June July August September October November
                       December)
list(FIND varko5_months ${varko5_month_abbreviation} varko5_month_index)
if(varko5_month_index LESS 0)
    message(FATAL_ERROR "packaging/debian/changelog: unknown month '${varko5_month_abbreviation}'")
endif()
math(EXPR varko5_month_number "${varko5_month_index} + 1")
if(varko5_month_number LESS 10)
    set(varko5_month_number "0${varko5_month_number}")
endif()
string(LENGTH "${varko5_day}" varko5_day_digits)
if(varko5_day_digits EQUAL 1)
    set(varko5_day "0${varko5_day}")
endif()
list(GET varko5_month_names ${varko5_month_index} varko5_month_name)
set(VARKO5_RELEASE_DATE "${varko5_year}-${varko5_month_number}-${varko5_day}")
set(VARKO5_RELEASE_MONTH "${varko5_month_name} ${varko5_year}")
execute_process(COMMAND date -u -d "${VARKO5_RELEASE_DATE}" +%s OUTPUT_VARIABLE VARKO5_RELEASE_EPOCH
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
