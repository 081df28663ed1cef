# Installation of the desktop program: the executable, the German help
# document with its pictures, the desktop entry and the icon. Included from
# app/CMakeLists.txt after desktop/, so the program's target exists.
include(GNUInstallDirs)
set(_zwillo_desktop_dir ${CMAKE_CURRENT_LIST_DIR})
if(TARGET zwillo)
  install(TARGETS zwillo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(DIRECTORY ${_zwillo_desktop_dir}/help/ DESTINATION ${CMAKE_INSTALL_DATADIR}/zwillo/help)
install(FILES ${_zwillo_desktop_dir}/zwillo.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_zwillo_desktop_dir}/icons/zwillo.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The Debian package (cpack -G DEB, or scripts/package): the three programs,
# the help, the desktop entry and the icon under /usr. dpkg-shlibdeps finds the
# libraries the programs link; Qt's platform plugins are a package of their
# own, without which no window opens.
set(CPACK_PACKAGE_NAME "zwillo")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "Zwillo developers <zwillo@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "stereo photography workstation")
set(CPACK_PACKAGE_DESCRIPTION "Zwillo aligns a left and a right photograph of one scene (identical point, tilt, crop, turns) and computes red-green and colour anaglyphs, mirror and side-by-side stereo images, line-interleaved images for shutter glasses and ELSA 3D Revelator pairs. zwillo-cli does the same from the command line; zwillo-stereo3d shows ELSA pairs.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "graphics")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, xdg-utils")
include(CPack)
