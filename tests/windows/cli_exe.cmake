# Runs kavo-cli.exe under the emulator as a user would: a folder name beyond
# ASCII on the command line, the navigation pictures found beside the program,
# names spelt as on Linux though the disk's names ignore letter case, an earlier
# catalogue spelt otherwise, and every form of a folder's path a Windows user
# types or pastes.
# Then one lock for both systems: a Linux fcntl lock (CMake's file(LOCK)) on a
# catalogue keeps kavo-cli.exe out, and the lock of a Windows program keeps a
# Linux one out, and the Linux kavo-cli's run too when KAVO_LINUX_CLI names it;
# that program and kavo-cli.exe then write the same bytes on a fresh folder.
# Usage: cmake -DEMULATOR=… -DCLI=kavo-cli.exe -DTESTS=kavo_core_tests.exe -DPICTURES=tests/data/pictures -DWORK=dir
#        -P cli_exe.cmake

if(PROBE)
  # Beside the Windows program that holds the lock of the catalogue folder PROBE.
  foreach(i RANGE 300)
    if(EXISTS "${PROBE}/held")
      break()
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} -E sleep 0.1)
  endforeach()
  if(PROBE_CLI)
    # A run of the Linux program on the folder that holds the catalogue folder.
    get_filename_component(pictures "${PROBE}" DIRECTORY)
    execute_process(COMMAND "${PROBE_CLI}" "${pictures}" -q RESULT_VARIABLE locked OUTPUT_QUIET ERROR_QUIET)
  else()
    file(LOCK "${PROBE}/kavo.lock" GUARD PROCESS RESULT_VARIABLE locked TIMEOUT 0)
  endif()
  file(WRITE "${PROBE}/probed" "${locked}")
  file(WRITE "${PROBE}/release" "")
  return()
endif()

function(expect condition what)
  cmake_language(EVAL CODE "if(${condition})\nset(ok TRUE)\nelse()\nset(ok FALSE)\nendif()")
  if(NOT ok)
    message(FATAL_ERROR "kavo-cli.exe: ${what}")
  endif()
endfunction()

function(expect_in_text content text)
  string(FIND "${content}" "${text}" at)
  expect("at GREATER -1" "'${text}' missing from '${content}'")
endfunction()

function(expect_in file text)
  file(READ "${file}" content)
  expect_in_text("${content}" "${text}")
endfunction()

file(REMOVE_RECURSE "${WORK}")
set(folder "${WORK}/旅行 Trip")
file(MAKE_DIRECTORY "${folder}/Sub")
file(COPY_FILE "${PICTURES}/plain.png" "${folder}/Sea.PNG")
file(COPY_FILE "${PICTURES}/plain.gif" "${folder}/Sub/Beach.gif")

execute_process(COMMAND ${EMULATOR} "${CLI}" "${folder}" --per-page=5 -q
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
expect("rc EQUAL 0" "exit ${rc}: ${err}")
# Redirected, the path comes in the ANSI code page, which here (1252) lacks 旅行.
string(FIND "${out}" "?? Trip\\index.html" at)
expect("at GREATER -1" "the summary page's path '${out}' is not in the code page")

# Names are taken as they are written here, letter case included: spelt as on
# Linux, so the catalogue opens where names tell case apart.
file(GLOB names RELATIVE "${folder}" "${folder}/*" "${folder}/*/*")
foreach(name kavo kavo/page0001.html kavo/images kavo/index.html)
  list(FIND names "${name}" at)
  expect("at GREATER -1" "no ${name} in a fresh catalogue: ${names}")
endforeach()
expect("EXISTS \"${folder}/kavo/images/ball1.gif\"" "the pictures beside the program were not copied")
expect_in("${folder}/index.html" "URL=kavo/index.html")
expect_in("${folder}/kavo/page0001.html" "SRC=\"../Sea.PNG\" WIDTH=\"31\" HEIGHT=\"19\"")
expect_in("${folder}/kavo/page0001.html" "SRC=\"../Sub/Beach.gif\" WIDTH=\"41\" HEIGHT=\"23\"")

# An earlier version's catalogue, spelt the classic way: written into and linked
# as spelt, its first page respelt in place, no second folder beside it.
file(RENAME "${folder}/kavo/page0001.html" "${folder}/kavo/Page0001.html")
file(RENAME "${folder}/kavo/images" "${folder}/kavo/Images")
file(RENAME "${folder}/kavo" "${folder}/Kavo")
file(LOCK "${folder}/Kavo/kavo.lock" GUARD PROCESS RESULT_VARIABLE locked TIMEOUT 0)
execute_process(COMMAND ${EMULATOR} "${CLI}" "${folder}" --per-page=5 -q RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
expect("rc EQUAL 4" "exit ${rc} while a Linux program held the lock of the Kavo folder, not 4")
file(LOCK "${folder}/Kavo/kavo.lock" RELEASE)
execute_process(COMMAND ${EMULATOR} "${CLI}" "${folder}" --per-page=5 -q RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
expect("rc EQUAL 0" "exit ${rc} over a Kavo folder: ${err}")
file(GLOB names RELATIVE "${folder}" "${folder}/*" "${folder}/*/*")
foreach(name Kavo Kavo/page0001.html Kavo/Images)
  list(FIND names "${name}" at)
  expect("at GREATER -1" "no ${name} after a run over Kavo: ${names}")
endforeach()
foreach(name kavo Kavo/Page0001.html Kavo/images)
  list(FIND names "${name}" at)
  expect("at EQUAL -1" "${name} after a run over Kavo: ${names}")
endforeach()
expect_in("${folder}/index.html" "URL=Kavo/index.html")
expect_in("${folder}/index.html" "SRC=\"Kavo/Images/logo1.gif\"")
expect_in("${folder}/Kavo/frame1.html" "SRC=\"Images/ball1.gif\"")
file(RENAME "${folder}/Kavo" "${folder}/kavo.old")
file(RENAME "${folder}/kavo.old" "${folder}/kavo")

# With thumbnails a picture that fits the box is shown itself, turned as the browser turns it.
file(COPY_FILE "${PICTURES}/turned6.jpg" "${folder}/Turned.jpg")
execute_process(COMMAND ${EMULATOR} "${CLI}" "${folder}" --thumbnails=50 -q
                RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
expect("rc EQUAL 0" "exit ${rc} with thumbnails: ${err}")
expect_in("${folder}/kavo/thumbs/record.txt" "Turned.jpg")
expect_in("${folder}/kavo/page0001.html" "SRC=\"../Sea.PNG\" WIDTH=\"31\" HEIGHT=\"19\"")
expect_in("${folder}/kavo/page0001.html" "WIDTH=\"20\" HEIGHT=\"40\"")

# Large pictures are judged from their headers before a codec sees them: a
# 12000×9000 JPEG, over the decode budget, is shown as it is, fitted into the box;
# a PNG claiming 20000×20000 is refused. Neither may cost much beyond what an
# empty folder costs under the emulator (the codec's whole decode took 0.65 to
# 1.2 GB and 5 to 34 s): three times the Linux build's memory and time, with
# a margin for a loaded machine. Linux's kavo-cli is measured when it is given;
# else its figures as measured here stand in.
find_program(cjpeg cjpeg REQUIRED)
set(time_it /usr/bin/time)  # the program, not the shell's keyword
function(black_jpeg width height file)
  math(EXPR bytes "${width} * ${height} * 3")
  execute_process(COMMAND sh -c "printf 'P6 ${width} ${height} 255\\n'; head -c ${bytes} /dev/zero"
                  COMMAND "${cjpeg}" OUTPUT_FILE "${file}" RESULT_VARIABLE rc)
  expect("rc EQUAL 0 AND EXISTS \"${file}\"" "cjpeg could not write ${file}")
endfunction()
# Sets NAME_ms and NAME_kb to the wall time and peak memory of COMMAND, which must end with 0.
function(measure name)
  execute_process(COMMAND "${time_it}" -f "%e %M" -o "${WORK}/measured" ${ARGN}
                  RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
  expect("rc EQUAL 0" "exit ${rc} of ${ARGN}: ${err}")
  file(READ "${WORK}/measured" measured)
  if(NOT measured MATCHES "([0-9]+)\\.([0-9][0-9]) ([0-9]+)")
    message(FATAL_ERROR "kavo-cli.exe: no figures from time: ${measured}")
  endif()
  math(EXPR ms "${CMAKE_MATCH_1} * 1000 + ${CMAKE_MATCH_2} * 10")
  set(${name}_ms ${ms} PARENT_SCOPE)
  set(${name}_kb ${CMAKE_MATCH_3} PARENT_SCOPE)
endfunction()
set(large "${WORK}/large")
file(MAKE_DIRECTORY "${WORK}/empty" "${large}")
black_jpeg(12000 9000 "${large}/Big.jpg")
file(COPY_FILE "${PICTURES}/claims_20000.png" "${large}/Claim.png")
measure(empty ${EMULATOR} "${CLI}" "${WORK}/empty" --thumbnails -q)
measure(wine ${EMULATOR} "${CLI}" "${large}" --thumbnails -q)
set(linux_ms 70)
set(linux_kb 14000)
if(DEFINED ENV{KAVO_LINUX_CLI})
  file(REMOVE_RECURSE "${large}/kavo" "${large}/index.html")
  measure(linux "$ENV{KAVO_LINUX_CLI}" "${large}" --thumbnails -q)
  file(REMOVE_RECURSE "${large}/kavo" "${large}/index.html")
  measure(wine ${EMULATOR} "${CLI}" "${large}" --thumbnails -q)
endif()
message(STATUS "12000×9000 JPEG and a PNG claiming 20000×20000: ${wine_ms} ms, ${wine_kb} KB under the emulator "
               "(an empty folder ${empty_ms} ms, ${empty_kb} KB); Linux ${linux_ms} ms, ${linux_kb} KB")
math(EXPR most_kb "${empty_kb} + 3 * ${linux_kb}")
math(EXPR most_ms "${empty_ms} + 3 * ${linux_ms} + 1500")
expect("wine_kb LESS most_kb" "the large pictures took ${wine_kb} KB, over ${most_kb}")
expect("wine_ms LESS most_ms" "the large pictures took ${wine_ms} ms, over ${most_ms}")
expect_in("${large}/kavo/page0001.html" "SRC=\"../Big.jpg\" WIDTH=\"200\" HEIGHT=\"150\"")
expect_in("${large}/kavo/page0001.html" "SRC=\"../Claim.png\" WIDTH=\"200\" HEIGHT=\"200\"")
file(GLOB made "${large}/kavo/thumbs/*.jpg")
expect("\"${made}\" STREQUAL \"\"" "thumbnails of pictures over the limits: ${made}")

# Ctrl-C amid pictures the codec decodes whole (48 megapixels each, within the
# budget) ends the run within a bound: the core tests' case that sends it needs
# a console, which it has on a terminal, as kavo_ctrl_c runs it. It writes the
# time taken into the folder: a skipped case writes none.
black_jpeg(8000 6000 "${large}/p01.jpg")
foreach(i RANGE 2 12)
  file(COPY_FILE "${large}/p01.jpg" "${large}/p${i}.jpg")
endforeach()

# Four threads share one budget of 224 MB: one such picture decoded at a time,
# not one per thread (four would take about 800 MB).
file(REMOVE_RECURSE "${large}/kavo" "${large}/index.html")
measure(twelve ${EMULATOR} "${CLI}" "${large}" --thumbnails --jobs=4 -q)
message(STATUS "Twelve 8000×6000 JPEGs with four threads: ${twelve_ms} ms, ${twelve_kb} KB")
math(EXPR most_kb "${empty_kb} + 224 * 1024")
expect("twelve_kb LESS most_kb" "twelve 8000×6000 JPEGs took ${twelve_kb} KB, over ${most_kb}")
file(GLOB made "${large}/kavo/thumbs/*.jpg")
list(LENGTH made count)
expect("count EQUAL 12" "${count} thumbnails of the twelve 8000×6000 JPEGs")

file(REMOVE_RECURSE "${large}/kavo" "${large}/index.html" "${large}/ctrl-c-ms.txt")
find_program(script script REQUIRED)
execute_process(COMMAND ${CMAKE_COMMAND} -E env KAVO_NEED_CONSOLE=1 "KAVO_LARGE_PICTURES=${large}"
                        "${script}" -qec "${EMULATOR} '${TESTS}' --gtest_filter=CliInterrupt.CtrlCAmid*" /dev/null
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
expect("rc EQUAL 0" "Ctrl-C amid large pictures: ${out}${err}")
expect("EXISTS \"${large}/ctrl-c-ms.txt\"" "the Ctrl-C case did not run: ${out}")
file(READ "${large}/ctrl-c-ms.txt" took)
message(STATUS "Ctrl-C amid twelve 8000×6000 JPEGs: the run ended ${took} ms after it")

execute_process(COMMAND ${EMULATOR} "${CLI}" "${WORK}/missing" RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
expect("rc EQUAL 2" "exit ${rc} for a missing folder, not 2")
execute_process(COMMAND ${EMULATOR} "${CLI}" "/?" RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_QUIET)
expect("rc EQUAL 0" "exit ${rc} for /?, not the help")
string(FIND "${out}" "--per-page" at)
expect("at GREATER -1" "/? printed no help: ${out}")

# Each form names the same folder: a share (Wine serves \\server\share from
# dosdevices/unc/server/share), "\\?\" and "\\.\" paths, a drive's root, the
# trailing space or dot Windows drops, a drive-relative path, other letter case.
set(photos "${WORK}/photos")
file(MAKE_DIRECTORY "${photos}")
file(COPY_FILE "${PICTURES}/plain.png" "${photos}/Sea.PNG")
set(devices "$ENV{WINEPREFIX}/dosdevices")
file(MAKE_DIRECTORY "${devices}/unc/server")
file(CREATE_LINK "${WORK}" "${devices}/unc/server/share" SYMBOLIC)
file(CREATE_LINK "${photos}" "${devices}/p:" SYMBOLIC)
string(REPLACE "/" "\\" dos "Z:${photos}")
set(forms "\\\\server\\share\\photos" "//server/share/photos/" "\\\\?\\UNC\\server\\share\\photos"
          "\\\\?\\${dos}" "\\\\.\\${dos}" "${dos} " "${dos}." "Z:photos" "PHOTOS"
          "\\\\?\\P:\\")  # last: a list item ending in "\\" would swallow the next ";"
foreach(form IN LISTS forms)
  file(REMOVE_RECURSE "${photos}/kavo" "${photos}/index.html")
  execute_process(COMMAND ${EMULATOR} "${CLI}" "${form}" -q WORKING_DIRECTORY "${WORK}"
                  RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
  expect("rc EQUAL 0" "exit ${rc} for '${form}': ${err}")
  expect_in("${photos}/kavo/page0001.html" "SRC=\"../Sea.PNG\"")
  if(NOT form MATCHES "P:")
    expect_in("${photos}/index.html" "SIZE=\"4\">photos</FONT>")
  endif()
endforeach()
execute_process(COMMAND ${EMULATOR} "${CLI}" "\\\\server\\share\\photos" --scan OUTPUT_VARIABLE out ERROR_QUIET)
expect_in_text("${out}" "\"png\":1,")
file(REMOVE "${devices}/unc/server/share" "${devices}/p:")

# Every staged file reaches the disk before the first is renamed into place:
# each is flushed (FlushFileBuffers), as counted in Wine's trace of the calls.
set(flushed "${WORK}/flushed")
file(MAKE_DIRECTORY "${flushed}")
foreach(i RANGE 1 13)
  file(COPY_FILE "${PICTURES}/plain.png" "${flushed}/p${i}.png")
endforeach()
set(debug "HKCU\\Software\\Wine\\Debug")
execute_process(COMMAND ${EMULATOR} reg add "${debug}" /v RelayInclude /t REG_SZ
                        /d "kernel32.FlushFileBuffers;kernel32.MoveFileExW" /f OUTPUT_QUIET ERROR_QUIET)
foreach(run first again)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env WINEDEBUG=+relay ${EMULATOR} "${CLI}" "${flushed}" --per-page=5 -q
                  RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE trace)
  expect("rc EQUAL 0" "exit ${rc} of the traced run")
  string(REGEX MATCHALL "Call KERNEL32\\.(FlushFileBuffers|MoveFileExW\\([^)]*-staged)" calls "${trace}")
  set(flushes 0)
  set(renames 0)
  foreach(call IN LISTS calls)
    if(call MATCHES "Flush")
      expect("renames EQUAL 0" "a file flushed after the renames began")
      math(EXPR flushes "${flushes} + 1")
    else()
      math(EXPR renames "${renames} + 1")
    endif()
  endforeach()
  if(run STREQUAL "first")
    # Three pages, the frameset, two frames and the summary page.
    expect("flushes EQUAL 7 AND renames EQUAL 7" "${flushes} flushes and ${renames} renames into place, not 7 and 7")
  else()
    expect("flushes EQUAL 0 AND renames EQUAL 0" "a rerun with nothing changed flushed ${flushes} and renamed ${renames}")
  endif()
endforeach()
execute_process(COMMAND ${EMULATOR} reg delete "${debug}" /v RelayInclude /f OUTPUT_QUIET ERROR_QUIET)

# A folder name in ASCII: the Windows program reads it from the environment in its code page.
set(shared "${WORK}/shared")
file(MAKE_DIRECTORY "${shared}/kavo")
file(COPY_FILE "${PICTURES}/plain.png" "${shared}/a.png")
file(LOCK "${shared}/kavo/kavo.lock" GUARD PROCESS RESULT_VARIABLE locked TIMEOUT 0)
expect("locked STREQUAL \"0\"" "the lock file could not be locked from Linux: ${locked}")
execute_process(COMMAND ${EMULATOR} "${CLI}" "${shared}" -q RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
expect("rc EQUAL 4" "exit ${rc} while a Linux program held the lock, not 4")
expect("NOT EXISTS \"${shared}/index.html\"" "a run wrote while a Linux program held the lock")
file(LOCK "${shared}/kavo/kavo.lock" RELEASE)

execute_process(COMMAND ${CMAKE_COMMAND} -E env "KAVO_HOLD_LOCK=${shared}/kavo" ${EMULATOR} "${TESTS}"
                        --gtest_filter=LockAcrossSystems.*
                COMMAND ${CMAKE_COMMAND} "-DPROBE=${shared}/kavo" -P "${CMAKE_CURRENT_LIST_FILE}"
                RESULTS_VARIABLE rcs OUTPUT_QUIET ERROR_QUIET)
expect("rcs STREQUAL \"0;0\"" "the lock holder or the probe failed: ${rcs}")
file(READ "${shared}/kavo/probed" probed)
expect("NOT probed STREQUAL \"0\"" "a Linux program took the lock a Windows program held")

# Given the Linux build's kavo-cli: its run is kept out while a Windows program
# holds the lock of a catalogue folder spelt the classic way.
if(DEFINED ENV{KAVO_LINUX_CLI})
  file(REMOVE "${shared}/kavo/held" "${shared}/kavo/release" "${shared}/kavo/probed")
  file(RENAME "${shared}/kavo" "${shared}/Kavo")
  execute_process(COMMAND ${CMAKE_COMMAND} -E env "KAVO_HOLD_LOCK=${shared}/Kavo" ${EMULATOR} "${TESTS}"
                          --gtest_filter=LockAcrossSystems.*
                  COMMAND ${CMAKE_COMMAND} "-DPROBE=${shared}/Kavo" "-DPROBE_CLI=$ENV{KAVO_LINUX_CLI}"
                          -P "${CMAKE_CURRENT_LIST_FILE}"
                  RESULTS_VARIABLE rcs OUTPUT_QUIET ERROR_QUIET)
  expect("rcs STREQUAL \"0;0\"" "the lock holder or the Linux run failed: ${rcs}")
  file(READ "${shared}/Kavo/probed" probed)
  expect("probed EQUAL 4" "the Linux run exited ${probed} while a Windows program held the lock, not 4")
  expect("NOT EXISTS \"${shared}/kavo\"" "the Linux run made a catalogue folder beside the Windows one")

  # On a folder without a catalogue both write the same bytes (Windows keeps no size record).
  foreach(side linux windows)
    file(MAKE_DIRECTORY "${WORK}/${side}/Trip/Sub")
    file(COPY_FILE "${PICTURES}/plain.png" "${WORK}/${side}/Trip/Sea.PNG")
    file(COPY_FILE "${PICTURES}/plain.gif" "${WORK}/${side}/Trip/Sub/Beach.gif")
    file(COPY_FILE "${PICTURES}/turned6.jpg" "${WORK}/${side}/Trip/IMG_0001.JPG")
  endforeach()
  execute_process(COMMAND "$ENV{KAVO_LINUX_CLI}" "${WORK}/linux/Trip" -q RESULT_VARIABLE rc OUTPUT_QUIET)
  expect("rc EQUAL 0" "exit ${rc} of the Linux run")
  execute_process(COMMAND ${EMULATOR} "${CLI}" "${WORK}/windows/Trip" -q RESULT_VARIABLE rc OUTPUT_QUIET)
  expect("rc EQUAL 0" "exit ${rc} of the Windows run")
  execute_process(COMMAND diff -r -x sizes.txt -x pages.txt "${WORK}/linux/Trip" "${WORK}/windows/Trip"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE differences)
  expect("rc EQUAL 0" "the Windows build wrote other bytes than the Linux build: ${differences}")
endif()
file(REMOVE_RECURSE "${WORK}")
