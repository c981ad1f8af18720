# Fails when a program the build, the tests or the packaging run comes from a
# Debian package that scripts/setup does not install: a machine with it
# preinstalled passes, and a fresh one fails. Run as:
#   cmake -DSETUP_SCRIPT=<scripts/setup> "-DPROGRAMS=<name;...>" -P CheckSetupPackages.cmake
# Off Debian (no dpkg) there is nothing to check.
if(NOT SETUP_SCRIPT OR NOT PROGRAMS)
  message(FATAL_ERROR "SETUP_SCRIPT and PROGRAMS are required")
endif()
find_program(DPKG dpkg)
if(NOT DPKG)
  message(STATUS "no dpkg: nothing to check")
  return()
endif()

file(READ ${SETUP_SCRIPT} setup)
# Without its comments (they name things too), in words apart by spaces
# alone, so that a name is found only whole.
string(REGEX REPLACE "#[^\n]*" "" setup "${setup}")
string(REGEX REPLACE "[\t\n()]" " " setup " ${setup} ")
set(missing "")
foreach(program IN LISTS PROGRAMS)
  find_program(path_${program} ${program} NO_CACHE)
  if(NOT path_${program})
    list(APPEND missing "${program} (not found at all)")
    continue()
  endif()
  # The package that owns the program, through a symbolic link if need be.
  file(REAL_PATH ${path_${program}} real)
  execute_process(COMMAND ${DPKG} -S ${path_${program}} OUTPUT_VARIABLE owner RESULT_VARIABLE status ERROR_QUIET)
  if(NOT status EQUAL 0)
    execute_process(COMMAND ${DPKG} -S ${real} OUTPUT_VARIABLE owner RESULT_VARIABLE status ERROR_QUIET)
  endif()
  if(NOT status EQUAL 0)
    list(APPEND missing "${program} (no package owns ${real})")
    continue()
  endif()
  string(REGEX REPLACE "^([^:,]+).*$" "\\1" package "${owner}")
  string(STRIP "${package}" package)
  string(FIND "${setup}" " ${package} " at)
  if(at EQUAL -1)
    list(APPEND missing "${program} (package ${package})")
  endif()
endforeach()
if(missing)
  list(JOIN missing "\n  " text)
  message(FATAL_ERROR "scripts/setup does not install what these come from:\n  ${text}")
endif()
