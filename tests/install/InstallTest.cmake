# Installs the build into a scratch prefix and uses it as applications would: the installed
# qeltitle makes a title, a C host built through pkg-config and a C++ host built through
# find_package(QEL_Title2) load it, draw a frame and check pixels. Also checks the SONAME and its
# links and that the installed library still exports only the four factories and QelGetExtension.
# Inputs: BUILD_DIR, SOURCE_DIR, WORK, LIBDIR, C_COMPILER, CXX_COMPILER, MLT_MODULE_DIR (empty
# without the MLT module).
function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 300)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
  message(STATUS "${what}: ok ${out}")
  set(run_output "${out}" PARENT_SCOPE)
endfunction()

set(prefix ${WORK}/prefix)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
run("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# The versioned library and its links: .so -> .so.2 (the SONAME) -> .so.2.0.
set(lib ${prefix}/${LIBDIR}/libQEL_Title2.so)
file(READ_SYMLINK ${lib} devLink)
file(READ_SYMLINK ${lib}.2 sonameLink)
if(NOT devLink STREQUAL "libQEL_Title2.so.2" OR NOT sonameLink STREQUAL "libQEL_Title2.so.2.0"
   OR IS_SYMLINK ${lib}.2.0)
  message(FATAL_ERROR "library links: libQEL_Title2.so -> ${devLink}, libQEL_Title2.so.2 -> ${sonameLink}")
endif()
run("readelf" readelf -d ${lib}.2.0)
if(NOT run_output MATCHES "Library soname: \\[libQEL_Title2\\.so\\.2\\]")
  message(FATAL_ERROR "SONAME of the installed library is not libQEL_Title2.so.2")
endif()
run("exports" ${CMAKE_COMMAND} -DLIB=${lib} -P ${SOURCE_DIR}/tests/check_exports.cmake)
foreach(file include/qel/QEL_Title2.h include/qel/qel_title2.h bin/qeltitle ${LIBDIR}/QelDspInfo.xml
        ${LIBDIR}/pkgconfig/qel-title2.pc
        ${LIBDIR}/cmake/QEL_Title2/QEL_Title2Config.cmake)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

if(MLT_MODULE_DIR AND NOT EXISTS ${prefix}/${MLT_MODULE_DIR}/libmltqeltitle.so)
  message(FATAL_ERROR "the MLT module is not installed in ${MLT_MODULE_DIR}")
endif()

# The installed tool finds the installed library by itself (no library path set).
unset(ENV{LD_LIBRARY_PATH})
set(title ${WORK}/block.xml)
run("installed qeltitle" ${prefix}/bin/qeltitle text "█" -o ${title} --size 600 --color "#FF0000")

# C host through pkg-config; the library is found at run time through the library path, as a
# host installed elsewhere would configure it.
set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
run("pkg-config" pkg-config --cflags --libs qel-title2)
separate_arguments(flags UNIX_COMMAND "${run_output}")
run("pkg-config libdir" pkg-config --variable=libdir qel-title2)
string(STRIP "${run_output}" libdir)
run("C host build" ${C_COMPILER} -std=c11 -Wall -Werror ${SOURCE_DIR}/tests/install/c_host.c ${flags}
    -o ${WORK}/c_host)
set(ENV{LD_LIBRARY_PATH} ${libdir})
run("C host" ${WORK}/c_host ${title})
unset(ENV{LD_LIBRARY_PATH})

# C++ host through the CMake package; CMake gives the executable the library's directory.
run("C++ host configure" ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/install/cxx_host -B ${WORK}/cxx_host
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_BUILD_TYPE=Release)
run("C++ host build" ${CMAKE_COMMAND} --build ${WORK}/cxx_host)
run("C++ host" ${WORK}/cxx_host/cxx_host ${title})

# The installed tool by the name the guides use, with its version, man page and completions.
set(ENV{PATH} "${prefix}/bin:$ENV{PATH}")
run("qeltitle --version" /usr/bin/timeout 60 qeltitle --version)
if(NOT run_output MATCHES "^qeltitle [0-9.]+\nlibQEL_Title2 [0-9.]+ \\(${prefix}/${LIBDIR}/libQEL_Title2[.]so[.]")
  message(FATAL_ERROR "qeltitle --version does not name the installed library:\n${run_output}")
endif()
if(EXISTS ${BUILD_DIR}/tools/qeltitle/qeltitle.1)
  file(READ ${prefix}/share/man/man1/qeltitle.1 page)
  if(NOT page MATCHES "\\.SS \"qeltitle captions\"")
    message(FATAL_ERROR "the installed man page has no section for each command")
  endif()
endif()
run("bash completion" /usr/bin/timeout 60 bash -c
    "source ${prefix}/share/bash-completion/completions/qeltitle && COMP_WORDS=(qeltitle ca) COMP_CWORD=1 && _qeltitle && echo \${COMPREPLY[*]}")
if(NOT run_output STREQUAL "captions\n" OR NOT EXISTS ${prefix}/share/zsh/site-functions/_qeltitle)
  message(FATAL_ERROR "completion: 'qeltitle ca' gave '${run_output}', or _qeltitle is not installed")
endif()

# A tree built as `make demo` builds it (the library and the tool: here copied from the build) is
# refused whole when the install also needs the MLT module: the message names what is missing,
# and not one file is written.
if(MLT_MODULE_DIR)
  set(demo ${WORK}/demo-build)
  run("configure a tree for make demo" ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${demo} -DCMAKE_BUILD_TYPE=RelWithDebInfo
      -DQEL_BUILD_TESTS=OFF -DQEL_BUILD_BENCH=OFF -DQEL_BUILD_FUZZ=OFF)
  file(GLOB built ${BUILD_DIR}/libQEL_Title2.so*)
  file(COPY ${built} DESTINATION ${demo})
  file(GLOB built ${BUILD_DIR}/tools/qeltitle/qeltitle ${BUILD_DIR}/tools/qeltitle/qeltitle.bash
       ${BUILD_DIR}/tools/qeltitle/_qeltitle ${BUILD_DIR}/tools/qeltitle/qeltitle.1)
  file(COPY ${built} DESTINATION ${demo}/tools/qeltitle)
  execute_process(COMMAND ${CMAKE_COMMAND} --install ${demo} --prefix ${WORK}/demo-prefix
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 120)
  # What the refusal lists between "Missing:" and its advice (paths may hold any letter).
  string(FIND "${err}" "Missing:" from)
  string(FIND "${err}" "Build everything first" to)
  set(missing "")
  if(from GREATER -1 AND to GREATER from)
    math(EXPR length "${to} - ${from}")
    string(SUBSTRING "${err}" ${from} ${length} missing)
  endif()
  if(rc EQUAL 0 OR NOT missing MATCHES "libmltqeltitle[.]so" OR missing MATCHES "qeltitle[.]bash|libQEL_Title2"
     OR EXISTS ${WORK}/demo-prefix)
    message(FATAL_ERROR "installing a make-demo tree (status ${rc}) should refuse before writing:\n${out}\n${err}")
  endif()
endif()
