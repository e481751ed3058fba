# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a file of UI_DIR includes a header of a desktop backend (src/platform/<backend>/): the windows reach the
# desktop through platform/Platform.h and the core interfaces only.
file(GLOB_RECURSE sources ${UI_DIR}/*.h ${UI_DIR}/*.cpp)
set(offenders "")
foreach(source IN LISTS sources)
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]platform/[^/\">]+/")
    foreach(line IN LISTS includes)
        list(APPEND offenders "${source}: ${line}")
    endforeach()
endforeach()
if(offenders)
    list(JOIN offenders "\n" text)
    message(FATAL_ERROR "src/ui includes backend headers:\n${text}")
endif()
message(STATUS "No file of ${UI_DIR} includes a backend header")
