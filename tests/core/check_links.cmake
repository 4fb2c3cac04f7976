# Fails when FILE needs a MIDI or Qt library: the file tools and the fuzzers must run without them.
# SPDX-License-Identifier: GPL-3.0-or-later
execute_process(COMMAND ldd ${FILE} OUTPUT_VARIABLE libraries ERROR_VARIABLE problem RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "ldd ${FILE} failed: ${problem}")
endif()
string(REGEX MATCHALL "(librtmidi|libQt6|libjack|libasound)[^ \t\n]*" forbidden "${libraries}")
if(forbidden)
    message(FATAL_ERROR "${FILE} needs ${forbidden}")
endif()
message(STATUS "${FILE}: no MIDI or Qt library")
