# Installs the build into a scratch prefix and uses it as applications would: the installed
# qeltitle makes a title, a C host built through pkg-config and a C++ host built through
# find_package(QEL_Title2) load it, draw a frame and check pixels. Also checks the SONAME and its
# links and that the installed library still exports only the four factories.
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
