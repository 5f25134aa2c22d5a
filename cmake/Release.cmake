# NEWS.md gives each release its date and its changes, newest first; project() gives the version,
# which must be the newest there. The manual page, the Debian changelog and the AppStream releases
# are made from them, so that none of them can fall behind.
set(veltrane_news ${PROJECT_SOURCE_DIR}/NEWS.md)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${veltrane_news})
file(STRINGS ${veltrane_news} veltrane_news_lines ENCODING UTF-8)

# For release N (0 the newest): veltrane_release_N_version, _date, _changelog (its bullets as a
# Debian changelog has them) and _items (as AppStream list items).
set(veltrane_releases 0)
foreach(line IN LISTS veltrane_news_lines)
    string(LENGTH "${line}" length)
    if(line MATCHES "^## ([0-9]+\\.[0-9]+\\.[0-9]+) \\(([0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9])\\)$")
        set(n ${veltrane_releases})
        math(EXPR veltrane_releases "${n} + 1")
        set(veltrane_release_${n}_version ${CMAKE_MATCH_1})
        set(veltrane_release_${n}_date ${CMAKE_MATCH_2})
        continue()
    elseif(veltrane_releases EQUAL 0 OR line STREQUAL "")
        continue()
    elseif(length GREATER 76 OR NOT line MATCHES "^(- |  )(.*)$")
        message(FATAL_ERROR "NEWS.md: under a release, only bullets (\"- \") and their continued "
                            "lines (\"  \") of at most 76 characters: \"${line}\"")
    endif()
    string(REPLACE "&" "&amp;" item "${CMAKE_MATCH_2}")
    string(REPLACE "<" "&lt;" item "${item}")
    string(REPLACE ">" "&gt;" item "${item}")
    if(CMAKE_MATCH_1 STREQUAL "- ")
        string(APPEND veltrane_release_${n}_changelog "  * ${CMAKE_MATCH_2}\n")
        if(DEFINED veltrane_release_${n}_items)
            string(APPEND veltrane_release_${n}_items "</li>\n")
        endif()
        string(APPEND veltrane_release_${n}_items "          <li>${item}")
    else()
        string(APPEND veltrane_release_${n}_changelog "    ${CMAKE_MATCH_2}\n")
        string(APPEND veltrane_release_${n}_items " ${item}")
    endif()
endforeach()
if(NOT veltrane_release_0_version STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "NEWS.md's newest release is \"${veltrane_release_0_version}\", but "
                        "project() names ${PROJECT_VERSION}: the two must agree")
endif()
set(VELTRANE_RELEASE_DATE ${veltrane_release_0_date})

set(VELTRANE_METAINFO_RELEASES "")
math(EXPR veltrane_last "${veltrane_releases} - 1")
foreach(n RANGE ${veltrane_last})
    string(APPEND VELTRANE_METAINFO_RELEASES
        "    <release version=\"${veltrane_release_${n}_version}\" date=\"${veltrane_release_${n}_date}\">\n"
        "      <description>\n        <ul>\n${veltrane_release_${n}_items}</li>\n        </ul>\n"
        "      </description>\n    </release>\n")
endforeach()

# veltrane_write_changelog(FILE MAINTAINER SUFFIX): the Debian changelog, each release dated at noon
# UTC, the newest's version with the package's SUFFIX.
function(veltrane_write_changelog file maintainer suffix)
    set(text "")
    foreach(n RANGE ${veltrane_last})
        execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C date -u -R
                                -d "${veltrane_release_${n}_date} 12:00"
                        OUTPUT_VARIABLE date OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
        if(n GREATER 0)
            set(suffix "")
        endif()
        string(APPEND text "${PROJECT_NAME} (${veltrane_release_${n}_version}${suffix}) unstable; urgency=medium\n\n"
                           "${veltrane_release_${n}_changelog}\n -- ${maintainer}  ${date}\n")
        if(n LESS veltrane_last)
            string(APPEND text "\n")
        endif()
    endforeach()
    file(WRITE ${file} "${text}")
endfunction()
