# The Debian package (cpack -G DEB, see scripts/package.sh): the cmake --install
# layout plus the menu entry, man pages, completion and the udev rule where
# udev and the desktop look for them.
set(VARNEL_DEB_FILES ${CMAKE_SOURCE_DIR}/dist/debian)

install(PROGRAMS dist/varnel-launch DESTINATION ${VARNEL_INSTALL_PRIVATE})
install(FILES dist/org.varnel.Varnel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES dist/org.varnel.Varnel.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES dist/varnelctl.bash-completion DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME varnelctl)
# udev reads /usr/lib/udev/rules.d whatever the prefix.
install(FILES dist/70-varnel-ups.rules DESTINATION lib/udev/rules.d)

# Man pages (compressed, as Debian wants them), when scdoc is there to build them.
find_program(SCDOC scdoc)
if(SCDOC)
  set(varnel_man_pages)
  foreach(page varnel varnelctl upssim gen-batterydata)
    set(source ${CMAKE_SOURCE_DIR}/docs/man/${page}.1.scd)
    set(page_file ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
    add_custom_command(OUTPUT ${page_file}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND ${SCDOC} < ${source} > ${CMAKE_BINARY_DIR}/man/${page}.1
      COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/man/${page}.1
      DEPENDS ${source} VERBATIM)
    list(APPEND varnel_man_pages ${page_file})
  endforeach()
  add_custom_target(man ALL DEPENDS ${varnel_man_pages})
  install(FILES ${varnel_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# Debian wants the changelog and copyright under /usr/share/doc/varnel, the changelog compressed without a
# time stamp so that two builds give the same bytes.
set(changelog ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/debian
  COMMAND gzip -9nc ${VARNEL_DEB_FILES}/changelog > ${changelog}
  DEPENDS ${VARNEL_DEB_FILES}/changelog VERBATIM)
add_custom_target(deb-changelog ALL DEPENDS ${changelog})
install(FILES ${changelog} ${VARNEL_DEB_FILES}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/varnel)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varnel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Varnel developers <varnel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "battery configuration writer for uninterruptible power supplies")
# CPack indents the lines and turns the empty one into Debian's " .".
set(CPACK_PACKAGE_DESCRIPTION
    "Varnel brings the battery configuration stored inside an uninterruptible
power supply into line with the external battery packs attached to it: it
reads the battery data file of the UPS family, finds the unit on its USB (HID)
or serial port, computes the new battery table, writes it into the unit, reads
it back and compares.

The package holds the wizard varnel, the command-line varnelctl and the UPS
simulator upssim.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The port libraries are private to the programs and loaded from beside them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${VARNEL_DEB_FILES}/postinst ${VARNEL_DEB_FILES}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
    WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
