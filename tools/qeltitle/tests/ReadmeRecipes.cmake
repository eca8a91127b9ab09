# Runs the README's recipes as they stand: every shell block after a marker that names this test,
# in a scratch folder holding what the recipes take as given (clip.mp4, a 10-second 640x360 clip
# with a tone, and talk.srt), with the built tool first on PATH. Then checks that each block
# succeeded and wrote the files it names, and that the videos it made keep the clip's frame count.
# Inputs: README, TOOL_DIR, WORK, FFMPEG, FFPROBE.
cmake_policy(SET CMP0012 NEW)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(READ ${README} readme)
set(marker "<!-- The test Readme.Recipes runs the next block")
set(blocks "")
string(FIND "${readme}" "${marker}" start)
while(start GREATER_EQUAL 0)
  string(SUBSTRING "${readme}" ${start} -1 readme)
  if(NOT readme MATCHES "^[^\n]*\n```sh\n")
    message(FATAL_ERROR "no shell block after a Readme.Recipes marker in ${README}")
  endif()
  string(REGEX REPLACE "^[^\n]*\n```sh\n" "" readme "${readme}")
  string(FIND "${readme}" "\n```" end)
  string(SUBSTRING "${readme}" 0 ${end} block)
  list(LENGTH blocks index)
  file(WRITE ${WORK}/recipe-${index}.sh "set -e\n${block}\n")
  list(APPEND blocks ${index})
  string(FIND "${readme}" "${marker}" start)
endwhile()
list(LENGTH blocks count)
if(count LESS 3)
  message(FATAL_ERROR "expected the README's three recipes, found ${count} marked blocks")
endif()

function(run)
  execute_process(COMMAND /usr/bin/timeout -k 5 120 ${ARGN} WORKING_DIRECTORY ${WORK}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${ARGN} (status ${rc}):\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

function(frame_count file)
  run(${FFPROBE} -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames
      -of csv=p=0 ${file})
  string(STRIP "${out}" out)
  set(frames ${out} PARENT_SCOPE)
endfunction()

run(${FFMPEG} -v error -f lavfi -i testsrc2=size=640x360:rate=25:duration=10 -f lavfi
    -i sine=frequency=440:duration=10 -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac
    -shortest clip.mp4)
file(WRITE ${WORK}/talk.srt "1\n00:00:00,500 --> 00:00:02,500\nWelcome to the talk.\n\n"
                            "2\n00:00:03,000 --> 00:00:05,000\nCaptions come from a subtitle file.\n")
set(ENV{PATH} "${TOOL_DIR}:$ENV{PATH}")
foreach(index IN LISTS blocks)
  run(bash recipe-${index}.sh)
endforeach()

frame_count(clip.mp4)
set(clip_frames ${frames})
foreach(made out.mp4 captioned.mp4 captions.webm name.xml breaking.xml breaking.png)
  if(NOT EXISTS ${WORK}/${made})
    message(FATAL_ERROR "the README's recipes did not write ${made}")
  endif()
endforeach()
foreach(video out.mp4 captioned.mp4)
  frame_count(${video})
  if(NOT frames EQUAL clip_frames)
    message(FATAL_ERROR "${video} has ${frames} frames, the clip ${clip_frames}")
  endif()
endforeach()
