# Makes the man page and the shell completions of qeltitle from the tool's own help, so the
# command table (main.cpp) and each command's options (its --help) are written once:
#   qeltitle.1     help2man over `qeltitle --help` and `--version`, with every command's --help
#                  as a section of its own
#   qeltitle.bash  bash completion: commands, each command's options, effect names after
#                  --effect and --then (asked of `qeltitle effects` when completing), else files
#   _qeltitle      the same for zsh
# Inputs: TOOL (the built qeltitle), OUT (the folder to write into), HELP2MAN (empty: no man page).
cmake_policy(SET CMP0012 NEW)
function(help_of output)
  execute_process(COMMAND ${TOOL} ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE text ERROR_VARIABLE err TIMEOUT 30)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${TOOL} ${ARGN} failed (${rc}): ${err}")
  endif()
  set(${output} "${text}" PARENT_SCOPE)
endfunction()

# The commands and their one-line summaries, from the usage text's command list.
help_of(usage --help)
help_of(version --version)
string(REGEX MATCH "^[^\n]*" version "${version}")
string(REGEX MATCH "\ncommands:\n.*" listing "${usage}")
string(REGEX MATCHALL "\n  [a-z][a-z-]* +[^\n]+" entries "${listing}")
set(commands "")
set(bash_cases "")
set(zsh_commands "")
set(zsh_cases "")
set(man_commands "")
foreach(entry IN LISTS entries)
  string(REGEX MATCH "^\n  ([a-z][a-z-]*) +(.*)$" _ "${entry}")
  set(command ${CMAKE_MATCH_1})
  string(REPLACE "'" "" summary "${CMAKE_MATCH_2}")
  list(APPEND commands ${command})
  string(APPEND zsh_commands "    '${command}:${summary}'\n")

  help_of(help ${command} --help)
  # Option lines of the "options:" list (up to its blank line): "  -o, --output FILE    text" or
  # "  --bold    text", two spaces or more before the text.
  string(REGEX MATCH "\noptions:\n[^\n]+(\n[^\n]+)*" options "${help}")
  string(REPLACE ";" "," options "${options}")  # a semicolon would split the CMake list
  string(REGEX MATCHALL "\n  (-[a-zA-Z], )?--[a-z0-9-]+( [^ \n]+)?  +[^\n]*" lines "${options}")
  set(flags "")
  set(valued "")
  set(zsh_specs "")
  foreach(line IN LISTS lines)
    string(REGEX MATCH "^\n  (-[a-zA-Z], )?(--[a-z0-9-]+)( [^ \n]+)?  +(.*)$" _ "${line}")
    set(short ${CMAKE_MATCH_1})
    set(long ${CMAKE_MATCH_2})
    set(argument ${CMAKE_MATCH_3})
    string(REGEX REPLACE "[][:'\\\\`$]" "" text "${CMAKE_MATCH_4}")
    string(STRIP "${argument}" argument)
    string(REGEX REPLACE ", $" "" short "${short}")
    list(APPEND flags ${long} ${short})
    set(value "")
    if(NOT argument STREQUAL "")
      list(APPEND valued ${long} ${short})
      string(REGEX REPLACE "[][:'\\\\`$]" "" argument "${argument}")
      set(value ":${argument}: ")
      if(argument MATCHES "FILE|OUT|VIDEO|SUBS|BG|[.]|@")
        set(value ":${argument}:_files")
      endif()
      if(long MATCHES "^--(effect|then)$")
        set(value ":effect:{compadd -- \${(f)\"\$(qeltitle effects 2>/dev/null | cut -d\" \" -f1)\"}}")
      endif()
    endif()
    string(APPEND zsh_specs " \\\n        '${long}[${text}]${value}'")
    if(short)
      string(APPEND zsh_specs " \\\n        '${short}[${text}]${value}'")
    endif()
  endforeach()
  list(JOIN flags " " flags)
  list(JOIN valued " " valued)
  string(APPEND bash_cases "    ${command}) flags='${flags}'; valued='${valued}' ;;\n")
  string(APPEND zsh_cases "    ${command}) _arguments -s${zsh_specs} \\\n        '*:file:_files' ;;\n")

  # The command's help as a man section: verbatim, with roff's escape and control characters made
  # plain (a backslash, and a point or apostrophe at the start of a line).
  string(REPLACE "\\" "\\e" help "${help}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
  string(APPEND man_commands ".SS \"qeltitle ${command}\"\n.nf\n${help}.fi\n")
endforeach()
list(JOIN commands " " command_words)

file(WRITE ${OUT}/qeltitle.bash "# bash completion for qeltitle (made from the tool's --help texts when it is built)
_qeltitle() {
  local cur=\${COMP_WORDS[COMP_CWORD]} prev=\${COMP_WORDS[COMP_CWORD-1]} flags valued
  if (( COMP_CWORD == 1 )); then
    COMPREPLY=(\$(compgen -W '${command_words} --help --version' -- \"\$cur\"))
    return
  fi
  case \${COMP_WORDS[1]} in
${bash_cases}    *) return ;;
  esac
  if [[ \$prev == --effect || \$prev == --then ]]; then
    COMPREPLY=(\$(compgen -W \"\$(\${COMP_WORDS[0]} effects 2>/dev/null | cut -d' ' -f1)\" -- \"\$cur\"))
  elif [[ \" \$valued \" == *\" \$prev \"* ]]; then
    COMPREPLY=()   # a value: files, or nothing to offer
  elif [[ \$cur == -* ]]; then
    COMPREPLY=(\$(compgen -W \"\$flags\" -- \"\$cur\"))
  fi
}
complete -o default -o bashdefault -F _qeltitle qeltitle
")

file(WRITE ${OUT}/_qeltitle "#compdef qeltitle
# zsh completion for qeltitle (made from the tool's --help texts when it is built)
local -a commands
commands=(
${zsh_commands})
if (( CURRENT == 2 )); then
  _describe -t commands 'qeltitle command' commands
  return
fi
shift words
(( CURRENT-- ))
case \$words[1] in
${zsh_cases}  *) _files ;;
esac
")

if(HELP2MAN)
  file(WRITE ${OUT}/qeltitle.h2m "[OPTIONS BY COMMAND]
Each command also prints its part with \\fBqeltitle\\fR \\fICOMMAND\\fR \\fB\\-\\-help\\fR.
${man_commands}
[FILES]
.TP
\\fIPREFIX\\fR/share/qeltitle/presets/*.json
the caption styles that \\fBcaptions \\-\\-preset\\fR \\fINAME\\fR takes
.TP
\\fIPREFIX\\fR/lib/QelDspInfo.xml
the English names and descriptions of the effects (beside the library)
[ENVIRONMENT]
.TP
QELTITLE_FFMPEG
the ffmpeg program to run instead of the one on PATH
[SEE ALSO]
The guides in the source tree's doc/ folder: cli.md, captions.md, json.md, mlt.md.
")
  # The man page names the tool's version only: the libraries' are those of the machine it runs on.
  execute_process(COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section 1 --version-string ${version}
                          --name "make, render and animate video titles and captions"
                          --include ${OUT}/qeltitle.h2m --output ${OUT}/qeltitle.1.new ${TOOL}
                  RESULT_VARIABLE rc ERROR_VARIABLE err TIMEOUT 60)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "help2man failed (${rc}): ${err}")
  endif()
  file(RENAME ${OUT}/qeltitle.1.new ${OUT}/qeltitle.1)
endif()
