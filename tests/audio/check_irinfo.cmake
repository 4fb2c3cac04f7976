# Run by CTest: orx-irinfo on a file as IR packs ship them (48 kHz, 24-bit, extensible header), made by sox, with the
# conversion off and on; the coefficients only when asked for; file names outside ASCII; AIFF-C under its own
# extension; a missing file.   IRINFO, SOX, WORK
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
        "IR name: \"Greenback 4x12 48k\""
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
# The answer ends the output: the coefficients come only with --taps.
if(NOT on MATCHES "IR name: \"Greenback 4x12 48k\"\n$")
    fail("without --taps, something after the IR name or coefficients printed:\n${on}")
endif()
# With --taps, exactly 2048 coefficients, one per line, after the heading.
execute_process(COMMAND "${IRINFO}" --convert --taps "${ir}" RESULT_VARIABLE taps_result OUTPUT_VARIABLE taps
    ERROR_VARIABLE taps)
string(FIND "${taps}" "coefficients:\n" heading)
if(NOT taps_result EQUAL 0)
    fail("with --convert --taps the file must load (exit 0), got ${taps_result}")
elseif(heading GREATER -1)
    math(EXPR from "${heading} + 14")
    string(SUBSTRING "${taps}" ${from} -1 values)
    string(REGEX MATCHALL "-?[0-9]+\n" lines "${values}")
    list(LENGTH lines count)
    if(NOT count EQUAL 2048)
        fail("with --taps, ${count} coefficients instead of 2048")
    endif()
    string(SUBSTRING "${taps}" 0 ${heading} before)
    if(NOT before STREQUAL on)
        fail("with --taps, the lines before the coefficients differ from those without:\n${before}")
    endif()
else()
    fail("with --taps, no coefficients:\n${taps}")
endif()

# Each case: the file, the options, the exit status and lines the output must have.
function(expect_lines label status)
    cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "COMMAND;LINES")
    execute_process(COMMAND "${IRINFO}" ${arg_COMMAND} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT result EQUAL status)
        fail("${label}: exit ${result} instead of ${status}:\n${out}")
    endif()
    foreach(expected IN LISTS arg_LINES)
        string(FIND "${out}" "\n${expected}\n" at)
        string(FIND "${out}" "${expected}\n" first)
        if(at EQUAL -1 AND NOT first EQUAL 0)
            fail("${label}: missing the line \"${expected}\" in:\n${out}")
        endif()
    endforeach()
    set(failures "${failures}" PARENT_SCOPE)
endfunction()

# The name as the file system spells it (UTF-8), and the IR name the amp can show.
set(accented "${WORK}/Câbinet Ü.wav")
execute_process(COMMAND "${SOX}" -n -r 44100 -b 16 "${accented}" synth 0.05 sine 1000)
expect_lines("accented name" 0 COMMAND "${accented}" LINES "file: ${accented}" "format: WAV" "IR name: \"Cabinet U\"")

# Faded out within the taps but for a whisper of its tail: all of the energy, never "-0.00 dB".
set(faded "${WORK}/Faded.wav")
execute_process(COMMAND "${SOX}" -n -r 44100 -b 16 "${faded}" synth 0.05 sine 1000 fade 0 0.05 0.04)
expect_lines("nearly all kept" 0 COMMAND "${faded}" LINES "taps keep: 100.0 % of the energy (0.00 dB)")

# sox writes AIFF-C under its usual extension; only the conversion takes it.
set(aifc "${WORK}/Closed Back.aifc")
execute_process(COMMAND "${SOX}" -n -r 44100 -b 16 "${aifc}" synth 0.05 sine 1000)
expect_lines("AIFF-C off" 1 COMMAND "${aifc}" LINES "format: AIFF-C" "error: FIR file open error. (1005)"
    "note: Closed Back.aifc: 44100 Hz, 16-bit PCM, mono, AIFF-C. Turn on Properties ▸ IR File Conversion to use it.")
expect_lines("AIFF-C on" 0 COMMAND "${aifc}" --convert LINES "source: 44100 Hz, 16-bit PCM, mono, AIFF-C"
    "converted: AIFF-C" "IR name: \"Closed Back\"")

# A WAV under the AIFF extension: refused as an AIFF without the conversion, read as the WAV it is with it.
set(misnamed "${WORK}/Open Back.aif")
execute_process(COMMAND "${SOX}" -n -r 44100 -b 16 -t wav "${misnamed}" synth 0.05 sine 1000)
expect_lines("misnamed off" 1 COMMAND "${misnamed}" LINES "format: WAV named .aif"
    "error: FIR file sample rate error. (1007)"
    "note: Open Back.aif: it is a WAV file named .aif (44100 Hz, 16-bit PCM, mono, WAV). Rename it to .wav, or turn on Properties ▸ IR File Conversion to use it.")
expect_lines("misnamed on" 0 COMMAND "${misnamed}" --convert LINES "converted: a WAV file named .aif")

# A missing file is no WAV, whatever its name.
expect_lines("missing" 1 COMMAND "${WORK}/gone.wav" LINES "format: none: the file cannot be opened"
    "error: FIR file open error. (1005)" "note: gone.wav: the file cannot be opened.")

file(REMOVE_RECURSE "${WORK}")
if(failures)
    message(FATAL_ERROR "${failures}")
endif()
