# Desktop integration (launcher, menu entry, icons) and the Debian package.
# The programs install themselves to bin; this adds what a menu needs.

set(PULSE_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})

# The launcher and the menu entry carry names from packaging/Names.cmake.
configure_file(${PULSE_PACKAGING_DIR}/pulse-demo-launcher.in
               ${CMAKE_BINARY_DIR}/packaging/pulse-demo-launcher @ONLY)
configure_file(${PULSE_PACKAGING_DIR}/pulse-demo.desktop.in
               ${CMAKE_BINARY_DIR}/packaging/pulse-demo.desktop @ONLY)
install(PROGRAMS ${CMAKE_BINARY_DIR}/packaging/pulse-demo-launcher
        DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_BINARY_DIR}/packaging/pulse-demo.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# Menu icons are rendered from the window icon's own drawing at build time,
# so the two cannot drift apart.
set(PULSE_ICON_SIZES 16 32 48 64 128 256)
set(PULSE_ICON_DIR ${CMAKE_BINARY_DIR}/packaging/icons)

qt_add_executable(pulse-icon-render ${PULSE_PACKAGING_DIR}/IconRender.cpp)
target_link_libraries(pulse-icon-render PRIVATE pulse_app)

set(pulse_icon_files)
foreach(size IN LISTS PULSE_ICON_SIZES)
  set(png ${PULSE_ICON_DIR}/${size}x${size}/apps/pulse-demo.png)
  list(APPEND pulse_icon_files ${png})
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_command(
  OUTPUT ${pulse_icon_files}
  # A sanitizer build would otherwise fail the build on Qt's exit-time leaks.
  COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
          $<TARGET_FILE:pulse-icon-render> ${PULSE_ICON_DIR} ${PULSE_ICON_SIZES}
  DEPENDS pulse-icon-render
  COMMENT "Rendering menu icons"
  VERBATIM)
add_custom_target(pulse-demo-icons ALL DEPENDS ${pulse_icon_files})

# Debian package: cmake --build <build dir> --target package
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pulse-demo)
set(CPACK_PACKAGE_VENDOR "pulse-demo maintainers")
set(CPACK_PACKAGE_CONTACT "Seed a5d807c1 maintainers <maintainers@users.noreply.c-seed-a5d807c1.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Digital pulse sensor sampling demonstration")
set(CPACK_PACKAGE_DESCRIPTION
    "Drives a digital pulse sensor on a serial port, draws the pulse waveform\n\
as it arrives, changes the sensor's rate, gain and baseline, reads its\n\
serial number and saves numbered record files. The window is in\n\
Simplified Chinese.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Qt's libraries and EDFlib's (libedf1, for pulse-record's EDF+ files) are
# found from what the programs link, under their names on each release.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window names these Chinese faces; without them its text is boxes.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-arphic-ukai, fonts-arphic-uming, fonts-wqy-microhei")
# Chinese for the toolkit's own buttons; the launcher's documents folder.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, xdg-user-dirs")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build[^/]*/" "/out/")
include(CPack)
