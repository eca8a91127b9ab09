# An install that cannot half-happen: before the first file is written, the install step checks
# that every file the build makes and the install copies is there. A tree built only in part
# (`make demo` builds the tool alone) is refused with the missing files and the command that
# makes them, and nothing is installed.
#
# Included before any install rule (rules run in the order they are declared, subdirectories
# included). Each folder that installs a built file names it with qel_install_needs(); the list
# is written out once every target exists (qel_install_check_write(), at the end of the
# configuration) and read back when installing.
set_property(GLOBAL PROPERTY QEL_INSTALL_NEEDS "")
install(CODE "include(\"${CMAKE_BINARY_DIR}/InstallCheck-$<CONFIG>.cmake\")")

# Names built files (generator expressions allowed) that the install copies.
function(qel_install_needs)
  set_property(GLOBAL APPEND PROPERTY QEL_INSTALL_NEEDS ${ARGN})
endfunction()

function(qel_install_check_write)
  get_property(needs GLOBAL PROPERTY QEL_INSTALL_NEEDS)
  list(JOIN needs "\n  " listed)
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/InstallCheck-$<CONFIG>.cmake CONTENT "\
# Written by cmake/InstallCheck.cmake: refuses to install a tree that is not wholly built.
set(qel_missing \"\")
foreach(qel_file IN ITEMS
  ${listed})
  if(NOT EXISTS \"\${qel_file}\")
    list(APPEND qel_missing \"\${qel_file}\")
  endif()
endforeach()
if(qel_missing)
  list(JOIN qel_missing \"\\n  \" qel_missing)
  message(FATAL_ERROR \"nothing was installed: the build is not complete. Missing:\\n  \${qel_missing}\\n\"
          \"Build everything first: cmake --build ${CMAKE_BINARY_DIR} (make install builds and installs).\")
endif()
")
endfunction()
