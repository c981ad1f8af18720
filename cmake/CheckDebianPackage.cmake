# Makes the Debian package of a build with CPack in a scratch folder and
# fails unless its control fields and contents are what apt needs: name,
# version, section, the libraries the program links (found by
# dpkg-shlibdeps) and the platform plugins among its dependencies, and the
# program with its desktop files inside.
# Run as: cmake -DBUILD_DIR=<build> -DWORK_DIR=<scratch> -DVERSION=<x.y.z>
#   -DAPPLICATION_ID=<id> -P CheckDebianPackage.cmake
cmake_minimum_required(VERSION 3.25)
foreach(required BUILD_DIR WORK_DIR VERSION APPLICATION_ID)
  if(NOT ${required})
    message(FATAL_ERROR "${required} is required")
  endif()
endforeach()

file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND cpack -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR}
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(GLOB packages ${WORK_DIR}/rivetone_*.deb)
list(LENGTH packages count)
if(NOT result EQUAL 0 OR NOT count EQUAL 1)
  message(FATAL_ERROR "cpack -G DEB made ${count} packages (exit ${result}):\n${output}")
endif()

execute_process(COMMAND dpkg-deb --field ${packages} Package Version Section Architecture Depends
  RESULT_VARIABLE result OUTPUT_VARIABLE fields)
execute_process(COMMAND dpkg-deb --contents ${packages} OUTPUT_VARIABLE contents)
set(problems "")
foreach(wanted "Package: rivetone\n" "Version: ${VERSION}\n" "Section: sound\n")
  string(FIND "${fields}" "${wanted}" at)
  if(at EQUAL -1)
    list(APPEND problems "no \"${wanted}\" among the fields")
  endif()
endforeach()
string(REGEX MATCH "Depends: [^\n]*" depends "${fields}")
foreach(library libqt6widgets6 libqt6gui6 libqt6dbus6 libsdl2 libavformat libavcodec libswresample libc6)
  if(NOT depends MATCHES "(^|[ ,])${library}[-.0-9]*( |,|$)")
    list(APPEND problems "${library} is not among the dependencies")
  endif()
endforeach()
foreach(path ./usr/bin/rivetone ./usr/share/applications/${APPLICATION_ID}.desktop
        ./usr/share/metainfo/${APPLICATION_ID}.metainfo.xml
        ./usr/share/icons/hicolor/scalable/apps/${APPLICATION_ID}.svg)
  string(FIND "${contents}" " ${path}\n" at)
  if(at EQUAL -1)
    list(APPEND problems "${path} is not in the package")
  endif()
endforeach()

if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "The Debian package is wrong:\n  ${text}\n${fields}")
endif()
file(SIZE ${packages} bytes)
message(STATUS "${packages}: ${bytes} bytes\n${depends}")
