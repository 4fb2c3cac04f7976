# Run by CTest: cmake --install into PREFIX, then check the installed files.
#   BUILD_DIR, PREFIX, SOURCE_ICON, ICON_SIZES ("16;24;..."), and the checkers, each empty or ...-NOTFOUND when not
#   installed: DESKTOP_FILE_VALIDATE, APPSTREAMCLI, GROFF, MAN
# SPDX-License-Identifier: GPL-3.0-or-later
cmake_minimum_required(VERSION 3.25)

set(failures "")
macro(fail text)
    string(APPEND failures "${text}\n")
endmacro()

# Every install rule is in the default component (keep it so: rules of another component are not installed here).
# Naming it makes CMake list the files in install_manifest_Unspecified.txt instead of install_manifest.txt, which
# belongs to the user's own install: the list they uninstall with, owned by root after "sudo cmake --install".
set(manifest "${BUILD_DIR}/install_manifest_Unspecified.txt")
file(REMOVE_RECURSE "${PREFIX}")
file(REMOVE "${manifest}")
# A DESTDIR in the caller's environment would send the files elsewhere.
execute_process(
    COMMAND ${CMAKE_COMMAND} -E env --unset=DESTDIR
        ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}" --component Unspecified
    RESULT_VARIABLE install_result OUTPUT_VARIABLE install_output ERROR_VARIABLE install_output)
set(installed "")
if(EXISTS "${manifest}")
    file(STRINGS "${manifest}" installed)
    file(REMOVE "${manifest}")
endif()

if(NOT install_result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed (${install_result}):\n${install_output}")
endif()

set(app_id org.orxtevo.utility)
set(programs orx-tevo-utility orx-tevo orx-amp-sim orx-irinfo)
set(desktop_entry "${PREFIX}/share/applications/${app_id}.desktop")
set(metainfo "${PREFIX}/share/metainfo/${app_id}.metainfo.xml")
set(icon "${PREFIX}/share/icons/hicolor/256x256/apps/${app_id}.png")

# Exactly these files: a missing one breaks the menu entry, an extra one is a developer tool leaking out.
set(expected "${desktop_entry}" "${metainfo}" "${PREFIX}/share/doc/orx-tevo-utility/copyright"
    "${PREFIX}/share/doc/orx-tevo-utility/changelog.Debian.gz")
foreach(size IN LISTS ICON_SIZES)
    list(APPEND expected "${PREFIX}/share/icons/hicolor/${size}x${size}/apps/${app_id}.png")
endforeach()
foreach(program IN LISTS programs)
    list(APPEND expected "${PREFIX}/bin/${program}" "${PREFIX}/share/man/man1/${program}.1.gz")
endforeach()
list(SORT expected)
list(SORT installed)
if(NOT installed STREQUAL expected)
    string(REPLACE ";" "\n  " want "${expected}")
    string(REPLACE ";" "\n  " got "${installed}")
    fail("installed files differ.\n expected:\n  ${want}\n installed:\n  ${got}")
endif()

# Every installed program answers --help and --version from the prefix, without a display: proves the files are
# executable, find their libraries, and can be asked in a terminal or a package build.
foreach(program IN LISTS programs)
    if(NOT EXISTS "${PREFIX}/bin/${program}")
        continue()
    endif()
    foreach(option --help --version)
        execute_process(
            COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM
                "${PREFIX}/bin/${program}" ${option}
            RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output TIMEOUT 30)
        if(option STREQUAL "--help")
            set(expected_text "[Uu]sage: [^\n]*${program}")
        else()
            set(expected_text "^${program} [0-9]+\\.[0-9]+\\.[0-9]+\nCopyright [^\n]*\nLicense GPL-3\\.0-or-later")
        endif()
        if(NOT result EQUAL 0 OR NOT output MATCHES "${expected_text}")
            fail("installed ${program} ${option} gave ${result}:\n${output}")
        endif()
    endforeach()

    # Its man page renders, and groff finds nothing to warn about.
    set(page "${PREFIX}/share/man/man1/${program}.1.gz")
    if(EXISTS "${page}" AND GROFF)
        execute_process(COMMAND gzip -dc "${page}" COMMAND "${GROFF}" -ww -z -man
            RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
        if(NOT result EQUAL 0 OR NOT output STREQUAL "")
            fail("groff -ww -z -man ${page}:\n${output}")
        endif()
    endif()
    if(EXISTS "${page}" AND MAN)
        execute_process(COMMAND ${CMAKE_COMMAND} -E env MANWIDTH=80 "${MAN}" -l "${page}"
            RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
        if(NOT result EQUAL 0 OR NOT output MATCHES "NAME")
            fail("man -l ${page} gave ${result}:\n${output}${errors}")
        endif()
        # Menu paths as the window shows them (not "Edit \ Properties"), and backups under the name the window
        # gives them.
        if(output MATCHES "\\\\")
            fail("man -l ${page} shows a backslash:\n${output}")
        endif()
        string(REGEX MATCHALL "orxbackup[^ \n]*" backups "${output}")
        foreach(backup IN LISTS backups)
            if(NOT backup MATCHES "^orxbackup\\.json")
                fail("man -l ${page} names a backup \"${backup}\", not NAME.orxbackup.json")
            endif()
        endforeach()
    endif()
endforeach()
if(NOT GROFF OR NOT MAN)
    message(STATUS "groff or man not installed: the man pages were not rendered")
endif()

if(EXISTS "${metainfo}" AND APPSTREAMCLI)
    execute_process(COMMAND "${APPSTREAMCLI}" validate --no-net --pedantic "${metainfo}"
        RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0 OR output MATCHES "\n[EWIP]: ")
        fail("appstreamcli validate --no-net --pedantic ${metainfo}:\n${output}")
    endif()
elseif(NOT APPSTREAMCLI)
    message(STATUS "appstreamcli not installed: the AppStream metadata was not validated")
endif()

# Each icon is a PNG of its size.
foreach(size IN LISTS ICON_SIZES)
    set(sized "${PREFIX}/share/icons/hicolor/${size}x${size}/apps/${app_id}.png")
    if(EXISTS "${sized}")
        file(READ "${sized}" header LIMIT 24 HEX)
        string(SUBSTRING "${header}" 32 16 dimensions)
        math(EXPR hex_size "${size}" OUTPUT_FORMAT HEXADECIMAL)
        string(REPLACE "0x" "" hex_size "${hex_size}")
        string(LENGTH "${hex_size}" digits)
        math(EXPR pad "8 - ${digits}")
        string(REPEAT "0" ${pad} zeros)
        if(NOT dimensions STREQUAL "${zeros}${hex_size}${zeros}${hex_size}")
            fail("${sized} is not ${size}x${size} (header ${header})")
        endif()
    endif()
endforeach()

if(NOT EXISTS "${icon}")
    fail("missing ${icon}")
else()
    # PNG signature, then the IHDR chunk: width and height as 32-bit big-endian numbers at bytes 16 and 20.
    file(READ "${icon}" header LIMIT 24 HEX)
    string(SUBSTRING "${header}" 0 16 signature)
    string(SUBSTRING "${header}" 32 16 size)
    if(NOT signature STREQUAL "89504e470d0a1a0a" OR NOT size STREQUAL "0000010000000100")
        fail("${icon} is not a 256x256 PNG (header ${header})")
    endif()
    file(SHA256 "${icon}" installed_hash)
    file(SHA256 "${SOURCE_ICON}" source_hash)
    if(NOT installed_hash STREQUAL source_hash)
        fail("${icon} is not ${SOURCE_ICON}")
    endif()
endif()

if(NOT EXISTS "${desktop_entry}")
    fail("missing ${desktop_entry}")
else()
    file(STRINGS "${desktop_entry}" lines)
    set(group "")
    set(first_group "")
    foreach(line IN LISTS lines)
        if(line MATCHES "^[ \t]*(#|$)")
            continue()
        elseif(line MATCHES "^\\[(.*)\\]$")
            set(group "${CMAKE_MATCH_1}")
            if(first_group STREQUAL "")
                set(first_group "${group}")
            endif()
        elseif(group STREQUAL "Desktop Entry" AND line MATCHES "^([A-Za-z0-9-]+)=(.*)$")
            if(DEFINED "key_${CMAKE_MATCH_1}")
                fail("key ${CMAKE_MATCH_1} appears twice")
            endif()
            set("key_${CMAKE_MATCH_1}" "${CMAKE_MATCH_2}")
        endif()
    endforeach()
    if(NOT first_group STREQUAL "Desktop Entry")
        fail("the first group is \"${first_group}\", not \"Desktop Entry\"")
    endif()
    # The Exec and Icon names must be the installed program and icon, or the menu entry starts nothing.
    macro(expect_key key value)
        if(NOT DEFINED "key_${key}")
            fail("${key} is missing from the desktop entry")
        elseif(NOT "${key_${key}}" STREQUAL "${value}")
            fail("${key} is \"${key_${key}}\", expected \"${value}\"")
        endif()
    endmacro()
    expect_key(Type "Application")
    expect_key(Name "ORX Tevo Utility")
    expect_key(Exec "orx-tevo-utility")
    expect_key(Icon "${app_id}")
    expect_key(Terminal "false")
    expect_key(Categories "AudioVideo;Audio;Music;")
    if("${key_Comment}" STREQUAL "")
        fail("the desktop entry has no Comment")
    endif()

    if(DESKTOP_FILE_VALIDATE)
        execute_process(COMMAND "${DESKTOP_FILE_VALIDATE}" "${desktop_entry}"
            RESULT_VARIABLE valid_result OUTPUT_VARIABLE valid_output ERROR_VARIABLE valid_output)
        # Hints are advice; errors and warnings are not.
        if(NOT valid_result EQUAL 0 OR valid_output MATCHES "(error|warning):")
            fail("desktop-file-validate:\n${valid_output}")
        endif()
    else()
        message(STATUS "desktop-file-validate not installed: checked the desktop entry's keys only")
    endif()
endif()

if(failures)
    message(FATAL_ERROR "${failures}")
endif()
message(STATUS "installed into ${PREFIX}: ${installed}")
