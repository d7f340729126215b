# Runs kavo-cli.exe under the emulator as a user would: a folder name beyond
# ASCII on the command line, the navigation pictures found beside the program,
# and the output form for a disk whose names ignore letter case.
# Then one lock for both systems: a Linux fcntl lock (CMake's file(LOCK)) on a
# catalogue keeps kavo-cli.exe out, and the lock of a Windows program keeps a
# Linux one out.
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
  file(LOCK "${PROBE}/kavo.lock" GUARD PROCESS RESULT_VARIABLE locked TIMEOUT 0)
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

function(expect_in file text)
  file(READ "${file}" content)
  string(FIND "${content}" "${text}" at)
  expect("at GREATER -1" "'${text}' missing from ${file}")
endfunction()

file(REMOVE_RECURSE "${WORK}")
set(folder "${WORK}/旅行 Trip")
file(MAKE_DIRECTORY "${folder}/Sub")
file(COPY_FILE "${PICTURES}/plain.png" "${folder}/Sea.PNG")
file(COPY_FILE "${PICTURES}/plain.gif" "${folder}/Sub/Beach.gif")

execute_process(COMMAND ${EMULATOR} "${CLI}" "${folder}" --per-page=5 -q
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
expect("rc EQUAL 0" "exit ${rc}: ${err}")
string(FIND "${out}" "旅行 Trip" at)
expect("at GREATER -1" "the summary page's path '${out}' lost the folder's name")

# Names are taken as they are written here, letter case included.
expect("EXISTS \"${folder}/kavo/Page0001.html\"" "no Page0001.html in a fresh kavo folder")
expect("EXISTS \"${folder}/kavo/images/ball1.gif\"" "the pictures beside the program were not copied")
expect_in("${folder}/index.html" "URL=Kavo/index.html")
expect_in("${folder}/kavo/Page0001.html" "SRC=\"../sea.png\" WIDTH=\"31\" HEIGHT=\"19\"")
expect_in("${folder}/kavo/Page0001.html" "SRC=\"../sub/beach.gif\" WIDTH=\"41\" HEIGHT=\"23\"")

# With thumbnails a picture that fits the box is shown itself, turned as the browser turns it.
file(COPY_FILE "${PICTURES}/turned6.jpg" "${folder}/Turned.jpg")
execute_process(COMMAND ${EMULATOR} "${CLI}" "${folder}" --thumbnails=50 -q
                RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
expect("rc EQUAL 0" "exit ${rc} with thumbnails: ${err}")
expect_in("${folder}/kavo/thumbs/record.txt" "Turned.jpg")
expect_in("${folder}/kavo/Page0001.html" "SRC=\"../sea.png\" WIDTH=\"31\" HEIGHT=\"19\"")
expect_in("${folder}/kavo/Page0001.html" "WIDTH=\"20\" HEIGHT=\"40\"")

execute_process(COMMAND ${EMULATOR} "${CLI}" "${WORK}/missing" RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
expect("rc EQUAL 2" "exit ${rc} for a missing folder, not 2")

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
file(REMOVE_RECURSE "${WORK}")
