# What `cmake --install` puts in place:
#   the program, its help page, a desktop entry and the icon (default component);
#   the simulated reader driver with a reader.conf.d file for the system pcscd,
#   only on request: `cmake --install BUILD --component sim`.
include(GNUInstallDirs)

set(QTU_APP_ID quarnel-test-utility)
set(QTU_SHARE_DIR ${CMAKE_INSTALL_DATADIR}/${QTU_APP_ID})

install(TARGETS quarnel-test-utility RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES help/qrnlhelp.htm DESTINATION ${QTU_SHARE_DIR})

# Help falls back to the installed page, found relative to the program's
# folder (so any prefix given at install time works), and, for the program
# run from the build, to the page in the source tree.
file(RELATIVE_PATH QTU_HELP_DIR_FROM_PROGRAM ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_DATADIR}/${QTU_APP_ID})
target_compile_definitions(qtu_core PRIVATE QTU_HELP_DIR_FROM_PROGRAM="${QTU_HELP_DIR_FROM_PROGRAM}"
  QTU_SOURCE_HELP_PAGE="${PROJECT_SOURCE_DIR}/help/qrnlhelp.htm")

install(FILES ui/icons/quarnel.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${QTU_APP_ID}.svg)
foreach(size 16 32 48 64 256)
  install(FILES ui/icons/quarnel-${size}.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${QTU_APP_ID}.png)
endforeach()

# The help page is opened from the working directory, so the desktop entry
# starts the program in the page's folder. Both paths follow the prefix given
# at install time (`cmake --install BUILD --prefix DIR`).
string(CONFIGURE [[
  set(QTU_PROGRAM "${CMAKE_INSTALL_PREFIX}/@CMAKE_INSTALL_BINDIR@/@QTU_APP_ID@")
  set(QTU_HELP_DIR "${CMAKE_INSTALL_PREFIX}/@QTU_SHARE_DIR@")
  configure_file("@PROJECT_SOURCE_DIR@/packaging/@QTU_APP_ID@.desktop.in"
                 "@PROJECT_BINARY_DIR@/packaging/@QTU_APP_ID@.desktop" @ONLY)
  file(INSTALL "@PROJECT_BINARY_DIR@/packaging/@QTU_APP_ID@.desktop"
       DESTINATION "${CMAKE_INSTALL_PREFIX}/@CMAKE_INSTALL_DATADIR@/applications")
]] QTU_INSTALL_DESKTOP_ENTRY @ONLY)
install(CODE "${QTU_INSTALL_DESKTOP_ENTRY}")

# The simulated reader: pcscd reads reader.conf.d from a fixed folder, which
# does not follow the prefix.
set(QTU_READER_CONF_DIR /etc/reader.conf.d CACHE PATH "Folder where pcscd reads its reader.conf.d files")
set(QTU_SIM_DRIVER_DIR ${CMAKE_INSTALL_LIBDIR}/${QTU_APP_ID})
install(TARGETS ifd_quarnel_sim LIBRARY DESTINATION ${QTU_SIM_DRIVER_DIR} COMPONENT sim EXCLUDE_FROM_ALL)
string(CONFIGURE [[
  set(QTU_SIM_DRIVER "${CMAKE_INSTALL_PREFIX}/@QTU_SIM_DRIVER_DIR@/$<TARGET_FILE_NAME:ifd_quarnel_sim>")
  configure_file("@PROJECT_SOURCE_DIR@/packaging/quarnel-sim.reader.conf.in"
                 "@PROJECT_BINARY_DIR@/packaging/quarnel-sim" @ONLY)
  file(INSTALL "@PROJECT_BINARY_DIR@/packaging/quarnel-sim" DESTINATION "@QTU_READER_CONF_DIR@")
  message(STATUS "Restart pcscd (systemctl restart pcscd) to see the simulated readers")
]] QTU_INSTALL_SIM_CONF @ONLY)
install(CODE "${QTU_INSTALL_SIM_CONF}" COMPONENT sim EXCLUDE_FROM_ALL)
