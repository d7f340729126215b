# Runs kavo-cli.exe under the emulator as a user would: a folder name beyond
# ASCII on the command line, the navigation pictures found beside the program,
# and the output form for a disk whose names ignore letter case.
# Usage: cmake -DEMULATOR=… -DCLI=kavo-cli.exe -DPICTURES=tests/data/pictures -DWORK=dir -P cli_exe.cmake

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
file(REMOVE_RECURSE "${WORK}")
