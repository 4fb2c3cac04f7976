# Run by CTest: orx-irinfo on a file as IR packs ship them (48 kHz, 24-bit, extensible header), made by sox, with the
# conversion off and on.   IRINFO, SOX, WORK
# SPDX-License-Identifier: GPL-3.0-or-later
cmake_minimum_required(VERSION 3.25)
set(failures "")
macro(fail text)
    string(APPEND failures "${text}\n")
endmacro()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
set(ir "${WORK}/Greenback 4x12 48k.wav")
execute_process(COMMAND "${SOX}" -R -n -r 48000 -b 24 "${ir}" synth 0.25 whitenoise fade q 0 0.25 0.24 gain -6
    RESULT_VARIABLE sox_result ERROR_VARIABLE sox_error)
if(NOT sox_result EQUAL 0)
    message(FATAL_ERROR "sox failed: ${sox_error}")
endif()

execute_process(COMMAND "${IRINFO}" "${ir}" RESULT_VARIABLE off_result OUTPUT_VARIABLE off ERROR_VARIABLE off)
if(NOT off_result EQUAL 1)
    fail("without --convert the file must be refused (exit 1), got ${off_result}")
endif()
foreach(expected
        "error: FIR file sample rate error. (1007)"
        "note: Greenback 4x12 48k.wav: 48000 Hz, 24-bit PCM, mono, WAV with the extensible header. Turn on Properties ▸ IR File Conversion to use it.")
    string(FIND "${off}" "${expected}" at)
    if(at EQUAL -1)
        fail("without --convert, missing \"${expected}\" in:\n${off}")
    endif()
endforeach()

execute_process(COMMAND "${IRINFO}" --convert "${ir}" RESULT_VARIABLE on_result OUTPUT_VARIABLE on ERROR_VARIABLE on)
if(NOT on_result EQUAL 0)
    fail("with --convert the file must load (exit 0), got ${on_result}:\n${on}")
endif()
foreach(expected
        "conversion: on"
        "source: 48000 Hz, 24-bit PCM, mono, WAV with the extensible header"
        "loads without conversion: no"
        "result: 44100 Hz, 16 bits: resampled from 48000 Hz (libsoxr, high quality), rounded to the nearest"
        "IR name: Greenback 4x12 48k"
        "length: 11025 samples (250.0 ms)")
    string(FIND "${on}" "${expected}" at)
    if(at EQUAL -1)
        fail("with --convert, missing \"${expected}\" in:\n${on}")
    endif()
endforeach()
# The share of the energy the taps keep: a quarter second of noise, faded out over its length, loses some.
if(NOT on MATCHES "\ntaps keep: [0-9]+\\.[0-9] % of the energy \\(-[0-9]+\\.[0-9][0-9] dB\\)\n")
    fail("with --convert, no \"taps keep\" line in:\n${on}")
endif()
# Exactly 2048 coefficients, one per line, after the heading.
string(FIND "${on}" "coefficients:\n" heading)
if(heading GREATER -1)
    math(EXPR from "${heading} + 14")
    string(SUBSTRING "${on}" ${from} -1 values)
    string(REGEX MATCHALL "-?[0-9]+\n" lines "${values}")
    list(LENGTH lines count)
    if(NOT count EQUAL 2048)
        fail("with --convert, ${count} coefficients instead of 2048")
    endif()
else()
    fail("with --convert, no coefficients")
endif()

file(REMOVE_RECURSE "${WORK}")
if(failures)
    message(FATAL_ERROR "${failures}")
endif()
