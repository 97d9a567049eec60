# What `cmake --install` puts in place:
#   the program, its help page, a desktop entry, the AppStream metadata, the
#   icons, the manual page and the licence (default component);
#   the simulated reader driver with a reader.conf.d file for the system pcscd
#   and quarnel-sim (scripts/sim) that moves its cards, only on request:
#   `cmake --install BUILD --component sim`.
# Nothing is written into the build tree at install time: files that follow
# the install prefix are written straight to their destination.
include(GNUInstallDirs)

set(QTU_PROGRAM_NAME quarnel-test-utility)
# One reverse-DNS id names the desktop entry, the metadata and the icons, so
# that software centres tie them together.
set(QTU_APP_ID org.quarnel.TestUtility)
set(QTU_SHARE_DIR ${CMAKE_INSTALL_DATADIR}/${QTU_PROGRAM_NAME})
set(QTU_SIM_PACKAGE ${QTU_PROGRAM_NAME}-sim)

install(TARGETS quarnel-test-utility RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The window's library, which only the program loads, in a folder of its own
# that the program finds relative to its own folder; under the multiarch
# folder where there is one, as Debian keeps private libraries.
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(QTU_PRIVATE_LIB_DIR lib/${CMAKE_LIBRARY_ARCHITECTURE}/${QTU_PROGRAM_NAME})
else()
  set(QTU_PRIVATE_LIB_DIR ${CMAKE_INSTALL_LIBDIR}/${QTU_PROGRAM_NAME})
endif()
install(TARGETS quarnel-test-utility-window LIBRARY DESTINATION ${QTU_PRIVATE_LIB_DIR})
file(RELATIVE_PATH QTU_WINDOW_MODULE_FROM_PROGRAM ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_PREFIX}/${QTU_PRIVATE_LIB_DIR})
target_compile_definitions(quarnel-test-utility PRIVATE QTU_WINDOW_MODULE="${QTU_WINDOW_MODULE}"
  QTU_WINDOW_MODULE_FROM_PROGRAM="${QTU_WINDOW_MODULE_FROM_PROGRAM}")
install(FILES help/qrnlhelp.htm DESTINATION ${QTU_SHARE_DIR})

# Help falls back to the installed page, found relative to the program's
# folder (so any prefix given at install time works), and, for the program
# run from the build, to the page in the source tree.
file(RELATIVE_PATH QTU_HELP_DIR_FROM_PROGRAM ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_DATADIR}/${QTU_PROGRAM_NAME})
target_compile_definitions(qtu_window PRIVATE QTU_HELP_DIR_FROM_PROGRAM="${QTU_HELP_DIR_FROM_PROGRAM}"
  QTU_SOURCE_HELP_PAGE="${PROJECT_SOURCE_DIR}/help/qrnlhelp.htm")

install(FILES ui/icons/quarnel.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${QTU_APP_ID}.svg)
foreach(size 16 32 48 64 256)
  install(FILES ui/icons/quarnel-${size}.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${QTU_APP_ID}.png)
endforeach()
install(FILES packaging/${QTU_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Debian wants the manual page and the changelog compressed, without a time
# stamp so that the package is reproducible; gzip them at build time.
set(QTU_GZIPPED)
foreach(file quarnel-test-utility.1 quarnel-sim.1 changelog)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/${file}.gz
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/${file} > ${PROJECT_BINARY_DIR}/packaging/${file}.gz
    DEPENDS packaging/${file} VERBATIM)
  list(APPEND QTU_GZIPPED ${PROJECT_BINARY_DIR}/packaging/${file}.gz)
endforeach()
add_custom_target(qtu_gzipped_docs ALL DEPENDS ${QTU_GZIPPED})
install(FILES ${PROJECT_BINARY_DIR}/packaging/quarnel-test-utility.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Each package carries the licence as its copyright file, and the changelog.
set(QTU_CHANGELOG ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${QTU_PROGRAM_NAME} RENAME copyright)
install(FILES ${QTU_CHANGELOG} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${QTU_PROGRAM_NAME})
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${QTU_SIM_PACKAGE} RENAME copyright
        COMPONENT sim EXCLUDE_FROM_ALL)
install(FILES ${QTU_CHANGELOG} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${QTU_SIM_PACKAGE} COMPONENT sim EXCLUDE_FROM_ALL)

# The help page is opened from the working directory, so the desktop entry
# starts the program in the page's folder. Both paths follow the prefix given
# at install time (`cmake --install BUILD --prefix DIR`), so the entry is
# written then, straight to its destination.
string(CONFIGURE [[
  set(QTU_PROGRAM "${CMAKE_INSTALL_PREFIX}/@CMAKE_INSTALL_BINDIR@/@QTU_PROGRAM_NAME@")
  set(QTU_HELP_DIR "${CMAKE_INSTALL_PREFIX}/@QTU_SHARE_DIR@")
  set(entry "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/@CMAKE_INSTALL_DATADIR@/applications/@QTU_APP_ID@.desktop")
  message(STATUS "Installing: ${entry}")
  file(READ "@PROJECT_SOURCE_DIR@/packaging/@QTU_APP_ID@.desktop.in" template)
  file(CONFIGURE OUTPUT "${entry}" CONTENT "${template}" @ONLY)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${entry}")
]] QTU_INSTALL_DESKTOP_ENTRY @ONLY)
install(CODE "${QTU_INSTALL_DESKTOP_ENTRY}")

# The simulated reader: pcscd reads reader.conf.d from a fixed folder, which
# does not follow the prefix, and so is its readers' control folder.
set(QTU_READER_CONF_DIR /etc/reader.conf.d CACHE PATH "Folder where pcscd reads its reader.conf.d files")
set(QTU_SIM_CONTROL_DIR /run/quarnel-sim CACHE PATH "Folder of the installed simulated readers' control files")
# quarnel-sim is scripts/sim with those two folders filled in.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/scripts/sim)
file(READ ${PROJECT_SOURCE_DIR}/scripts/sim QTU_SIM_TOOL)
foreach(setting "installed_dir=${QTU_SIM_CONTROL_DIR}" "installed_conf=${QTU_READER_CONF_DIR}/quarnel-sim")
  string(REGEX REPLACE "=.*" "=" unset ${setting})
  string(FIND "${QTU_SIM_TOOL}" "\n${unset}\n" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "scripts/sim has no line ${unset} to fill in")
  endif()
  string(REPLACE "\n${unset}\n" "\n${setting}\n" QTU_SIM_TOOL "${QTU_SIM_TOOL}")
endforeach()
file(WRITE ${PROJECT_BINARY_DIR}/packaging/sim/quarnel-sim "${QTU_SIM_TOOL}")
install(PROGRAMS ${PROJECT_BINARY_DIR}/packaging/sim/quarnel-sim DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT sim EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_BINARY_DIR}/packaging/quarnel-sim.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT sim EXCLUDE_FROM_ALL)
# The driver goes where pcsc-lite keeps the drivers that reader.conf.d files
# name (its own layout, without the multiarch part), under the prefix.
set(QTU_SIM_DRIVER_DIR lib/pcsc/drivers/serial)
install(TARGETS ifd_quarnel_sim LIBRARY DESTINATION ${QTU_SIM_DRIVER_DIR} COMPONENT sim EXCLUDE_FROM_ALL)
string(CONFIGURE [[
  set(QTU_SIM_DRIVER "${CMAKE_INSTALL_PREFIX}/@QTU_SIM_DRIVER_DIR@/$<TARGET_FILE_NAME:ifd_quarnel_sim>")
  set(QTU_SIM_CONTROL_DIR "@QTU_SIM_CONTROL_DIR@")
  set(conf "$ENV{DESTDIR}@QTU_READER_CONF_DIR@/quarnel-sim")
  message(STATUS "Installing: ${conf}")
  file(READ "@PROJECT_SOURCE_DIR@/packaging/quarnel-sim.reader.conf.in" template)
  file(CONFIGURE OUTPUT "${conf}" CONTENT "${template}" @ONLY)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${conf}")
  message(STATUS "Restart pcscd (systemctl restart pcscd) to see the simulated readers; quarnel-sim moves their cards")
]] QTU_INSTALL_SIM_CONF @ONLY)
install(CODE "${QTU_INSTALL_SIM_CONF}" COMPONENT sim EXCLUDE_FROM_ALL)
