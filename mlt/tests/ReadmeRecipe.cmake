# Runs the MLT guide's (doc/mlt.md) recipe for melt with the module installed into another prefix as it stands:
# the shell block after the marker that names this test, in a scratch home (the recipe installs
# into ~/.local) whose `build` links the build tree, with no library path set. Then checks what it
# promises: melt lists the module and writes five 1920x1080 frames, and the installed module's run
# path names the prefix's library folder. Inputs: README, BUILD_DIR, WORK.
# melt 7.12 now and then exits 0 without a frame or waits for ever (see MeltTest.cpp): such a run
# is made again, three times at most, each under `timeout`, which ends the whole process group.
file(READ ${README} readme)
string(FIND "${readme}" "<!-- The test Melt.ReadmeRecipe runs the next block" start)
string(SUBSTRING "${readme}" ${start} -1 readme)
if(start LESS 0 OR NOT readme MATCHES "^[^\n]*\n```sh\n")
  message(FATAL_ERROR "no shell block after the Melt.ReadmeRecipe marker in ${README}")
endif()
string(REGEX REPLACE "^[^\n]*\n```sh\n" "" readme "${readme}")
string(FIND "${readme}" "\n```" end)
string(SUBSTRING "${readme}" 0 ${end} recipe)

unset(ENV{LD_LIBRARY_PATH})
unset(ENV{MLT_REPOSITORY})
unset(ENV{MLT_DATA})
set(ENV{HOME} ${WORK}/home)
foreach(attempt 1 2 3)
  file(REMOVE_RECURSE ${WORK})
  file(MAKE_DIRECTORY ${WORK}/home)
  file(CREATE_LINK ${BUILD_DIR} ${WORK}/build SYMBOLIC)
  file(WRITE ${WORK}/recipe.sh "set -e\n${recipe}\n")
  execute_process(COMMAND /usr/bin/timeout -k 5 150 bash ${WORK}/recipe.sh WORKING_DIRECTORY ${WORK}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  file(GLOB frames ${WORK}/hello-*.png)
  list(LENGTH frames count)
  if(rc EQUAL 0 AND count GREATER 0)
    break()
  endif()
endforeach()
set(libdir ${WORK}/home/.local/lib)
execute_process(COMMAND readelf -d ${libdir}/mlt-7/libmltqeltitle.so OUTPUT_VARIABLE dynamic TIMEOUT 60)
set(frame_sizes "")
foreach(frame IN LISTS frames)
  file(READ ${frame} size OFFSET 16 LIMIT 8 HEX)  # the PNG header's width and height
  list(APPEND frame_sizes ${size})
endforeach()
list(REMOVE_DUPLICATES frame_sizes)
if(NOT rc EQUAL 0 OR NOT out MATCHES "identifier: qeltitle" OR err MATCHES "dlopen[^\n]*libmltqeltitle"
   OR NOT count EQUAL 5 OR NOT frame_sizes STREQUAL "0000078000000438"
   OR NOT dynamic MATCHES "runpath: \\[\\$ORIGIN/\\.\\.:${libdir}\\]")
  message(FATAL_ERROR "the MLT guide's recipe (status ${rc}) gave ${count} frames of ${frame_sizes} "
          "(want 5 of 1920x1080: 0000078000000438):\n${recipe}\n${out}\n${err}\n${dynamic}")
endif()
