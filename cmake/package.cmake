# `cpack --config BUILD/CPackConfig.cmake` builds two Debian packages from the
# install rules (cmake/install.cmake): the program (default component) and the
# simulated reader driver (component sim), each installable on its own with
# `apt install ./FILE.deb`.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${QTU_PROGRAM_NAME})
set(CPACK_PACKAGE_VENDOR "The Quarnel Test Utility developers")
set(QTU_PACKAGE_CONTACT "The Quarnel Test Utility developers <maintainers@quarnel.invalid>"
    CACHE STRING "Maintainer of the Debian packages, as \"Name <address>\"")
set(CPACK_PACKAGE_CONTACT ${QTU_PACKAGE_CONTACT})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)

# The desktop entry and the reader.conf.d file name the installed paths, so
# the files are installed under the real prefix into a staging DESTDIR rather
# than under a staging prefix.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_COMPONENTS_ALL Unspecified sim)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The project's address is the one its AppStream metadata gives.
file(READ ${PROJECT_SOURCE_DIR}/packaging/${QTU_APP_ID}.metainfo.xml QTU_METAINFO)
if(NOT QTU_METAINFO MATCHES "<url type=\"homepage\">([^<]+)</url>")
  message(FATAL_ERROR "packaging/${QTU_APP_ID}.metainfo.xml names no homepage")
endif()
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${CMAKE_MATCH_1})

set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_NAME ${QTU_PROGRAM_NAME})
set(CPACK_COMPONENT_UNSPECIFIED_DESCRIPTION "test bench for contactless smart-card readers over PC/SC
Quarnel Test Utility walks a contactless smart-card reader and its driver
through the PC/SC life cycle of pcsc-lite, composes commands for the card
and vendor requests for the reader, sends them once or in a loop, and logs
every exchange with its PC/SC status and timing.")
# Without a platform plugin Qt cannot open the window; libqt6gui6 only
# recommends it. pcscd may run on another machine, so it is recommended;
# so are pcsc-tools, whose list of known ATRs names the card, and xdg-utils,
# whose opener shows the help page.
set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_RECOMMENDS "pcscd, pcsc-tools, xdg-utils")
set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_SUGGESTS "${QTU_SIM_PACKAGE}")

set(CPACK_DEBIAN_SIM_PACKAGE_NAME ${QTU_SIM_PACKAGE})
set(CPACK_COMPONENT_SIM_DESCRIPTION "simulated contactless reader for pcscd
A reader driver for pcscd that simulates two contactless readers: the
first holds a 1 KB storage card, the second is empty. It lets Quarnel Test
Utility be tried without hardware. quarnel-sim takes a card out, puts one
in, taps one or unplugs a reader, as a hand would on a real reader.")
set(CPACK_DEBIAN_SIM_PACKAGE_DEPENDS "pcscd")
set(CPACK_DEBIAN_SIM_PACKAGE_ENHANCES "${QTU_PROGRAM_NAME}")
# dpkg keeps a changed reader.conf.d file across upgrades only if it is
# listed as a configuration file. A running pcscd sees the readers come and
# go only when it starts again: postinst and postrm restart it where it runs.
file(WRITE ${PROJECT_BINARY_DIR}/packaging/sim/conffiles "${QTU_READER_CONF_DIR}/quarnel-sim\n")
foreach(script postinst postrm)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/${QTU_SIM_PACKAGE}.${script} ${PROJECT_BINARY_DIR}/packaging/sim/${script} @ONLY)
endforeach()
set(CPACK_DEBIAN_SIM_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/packaging/sim/conffiles
    ${PROJECT_BINARY_DIR}/packaging/sim/postinst ${PROJECT_BINARY_DIR}/packaging/sim/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
