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
