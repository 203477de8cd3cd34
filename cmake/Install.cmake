# The programs look for their port libraries beside the executable (the link
# is resolved first), so everything runnable goes into one private directory
# and bin/ holds links to it. Data files are copied into a run directory by
# the technician: the programs read and write them in the current directory.
include(GNUInstallDirs)
set(VARNEL_INSTALL_PRIVATE ${CMAKE_INSTALL_LIBEXECDIR}/varnel)

set(varnel_programs)
foreach(program varnel varnelctl upssim gen-batterydata)
  if(TARGET ${program})
    list(APPEND varnel_programs ${program})
  endif()
endforeach()
install(TARGETS ${varnel_programs} RUNTIME DESTINATION ${VARNEL_INSTALL_PRIVATE})
install(TARGETS linkserial linkhid linkusb LIBRARY DESTINATION ${VARNEL_INSTALL_PRIVATE})
# udev runs it by its full path (dist/70-varnel-ups.rules); nobody else does.
if(TARGET varnel-ups-id)
  install(TARGETS varnel-ups-id RUNTIME DESTINATION ${VARNEL_INSTALL_PRIVATE})
endif()

foreach(program ${varnel_programs})
  install(CODE "
    set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\")
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(REMOVE \"\${link}\")
    file(CREATE_LINK \"../${VARNEL_INSTALL_PRIVATE}/${program}\" \"\${link}\" SYMBOLIC)
    message(STATUS \"Installing: \${link}\")")
endforeach()

install(FILES dist/varnel.ini dist/varnelstrings.en dist/sample-batterydata.xml dist/demo-units.ini
              dist/70-varnel-ups.rules
        DESTINATION ${CMAKE_INSTALL_DATADIR}/varnel)
foreach(size 16 24 32 48 64 128 256)
  install(FILES dist/icons/varnel-${size}.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME varnel.png)
endforeach()
install(FILES dist/icons/varnel.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
