# What `cmake --install` puts in place, and the Debian package CPack makes of
# it (`cpack -G DEB` in the build folder):
#   bin/rivetone
#   share/applications/<id>.desktop
#   share/metainfo/<id>.metainfo.xml
#   share/icons/hicolor/scalable/apps/<id>.svg and <n>x<n>/apps/<id>.png
# The PNG icons are drawn from the SVG at build time with rsvg-convert.
include(GNUInstallDirs)

set(RIVETONE_ICON_SIZES 16 24 32 48 64 128 256)
set(_data ${CMAKE_SOURCE_DIR}/data)
set(_generated ${CMAKE_BINARY_DIR}/data)
set(_icon_svg ${_data}/icons/${RIVETONE_APPLICATION_ID}.svg)

# The .desktop file and the AppStream metadata, with the id, version and
# audio types filled in.
list(JOIN RIVETONE_MIME_TYPES ";" RIVETONE_DESKTOP_MIME_TYPES)
set(RIVETONE_DESKTOP_MIME_TYPES "${RIVETONE_DESKTOP_MIME_TYPES};")
set(RIVETONE_METAINFO_MEDIATYPES "")
foreach(type IN LISTS RIVETONE_MIME_TYPES)
  string(APPEND RIVETONE_METAINFO_MEDIATYPES "    <mediatype>${type}</mediatype>\n")
endforeach()
string(STRIP "${RIVETONE_METAINFO_MEDIATYPES}" RIVETONE_METAINFO_MEDIATYPES)
set(RIVETONE_METAINFO_MEDIATYPES "    ${RIVETONE_METAINFO_MEDIATYPES}")
set(RIVETONE_DESKTOP_FILE ${_generated}/${RIVETONE_APPLICATION_ID}.desktop)
set(RIVETONE_METAINFO_FILE ${_generated}/${RIVETONE_APPLICATION_ID}.metainfo.xml)
configure_file(${_data}/rivetone.desktop.in ${RIVETONE_DESKTOP_FILE} @ONLY)
configure_file(${_data}/rivetone.metainfo.xml.in ${RIVETONE_METAINFO_FILE} @ONLY)

find_program(RSVG_CONVERT rsvg-convert)
set(_icon_pngs "")
if(RSVG_CONVERT)
  foreach(size IN LISTS RIVETONE_ICON_SIZES)
    set(png ${_generated}/icons/${size}x${size}/${RIVETONE_APPLICATION_ID}.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${_generated}/icons/${size}x${size}
      COMMAND ${RSVG_CONVERT} --width=${size} --height=${size} --keep-aspect-ratio ${_icon_svg} --output=${png}
      DEPENDS ${_icon_svg}
      COMMENT "Drawing the ${size}x${size} icon"
      VERBATIM)
    list(APPEND _icon_pngs ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
  add_custom_target(rivetone_icons ALL DEPENDS ${_icon_pngs})
  # Also the window's own icon, for desktops that show what the window
  # carries rather than the desktop file's, and for a run of the build itself.
  qt_add_resources(rivetone_app rivetone_window_icons PREFIX /icons BASE ${_generated}/icons FILES ${_icon_pngs})
else()
  message(WARNING "rsvg-convert (Debian package librsvg2-bin) not found: the PNG icons are not made or installed")
endif()

install(TARGETS rivetone RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${RIVETONE_DESKTOP_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${RIVETONE_METAINFO_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${_icon_svg} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# The license travels with the program, where Debian looks for it.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/rivetone RENAME copyright)

# The Debian package. Its library dependencies are read off the binary by
# dpkg-shlibdeps (package dpkg-dev); the X and offscreen platform plugins,
# loaded at run time, come with libqt6gui6, which it finds.
set(RIVETONE_PACKAGE_MAINTAINER "Rivetone developers <maintainers@rivetone.invalid>"
  CACHE STRING "Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rivetone)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Rivetone developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "audio player for language study with A-B loop drilling")
set(CPACK_PACKAGE_DESCRIPTION "Rivetone keeps MP3 and MPEG-4 audio lessons in named playlists, plays a track and drills a passage with an A-B loop, driven from the keyboard and the mouse wheel: passes per loop, pauses between passes, loops saved per track, and study phrase by phrase, at a slower or faster speed with the pitch kept.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY rivetone)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${RIVETONE_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The rounded face the window is drawn in; without it, the system face.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-nanum, qt6-translations-l10n")
include(CPack)
