# What `cmake --install` puts under /usr and the two Debian packages CPack makes of it
# (scripts/package.sh): "winorvex", the station and its tools, and "winorvex-simulators", the
# reader and results-program simulators. The programs' own install() rules are in their folders.
include(GNUInstallDirs)

# The date of this version, for the AppStream release and the Debian changelog.
set(WINORVEX_RELEASE_DATE "2026-12-09")
set(WINORVEX_RELEASE_DATE_RFC2822 "Wed, 09 Dec 2026 12:00:00 +0000")

set(_packaging ${PROJECT_SOURCE_DIR}/packaging)
set(_generated ${PROJECT_BINARY_DIR}/packaging)

# The menu entry, its AppStream metadata and the icon in the hicolor sizes.
install(FILES ${_packaging}/com.norvane.WinORVEX.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
        COMPONENT station)
configure_file(${_packaging}/com.norvane.WinORVEX.metainfo.xml.in ${_generated}/com.norvane.WinORVEX.metainfo.xml
               @ONLY)
install(FILES ${_generated}/com.norvane.WinORVEX.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
        COMPONENT station)
install(DIRECTORY ${_packaging}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons COMPONENT station)
install(FILES ${_packaging}/icons/winorvex.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        COMPONENT station)

# The headless station as a service, one instance per data folder under /var/lib/winorvex.
install(FILES "${_packaging}/winorvex-headless@.service" DESTINATION lib/systemd/system COMPONENT station)

# Each package's copyright and (native package) changelog.
foreach(package winorvex winorvex-simulators)
  if(package STREQUAL "winorvex")
    set(component station)
  else()
    set(component simulators)
  endif()
  set(CPACK_DEBIAN_CHANGELOG_PACKAGE ${package})
  configure_file(${_packaging}/changelog.in ${_generated}/${package}/changelog @ONLY)
  execute_process(COMMAND gzip -9nc ${_generated}/${package}/changelog
                  OUTPUT_FILE ${_generated}/${package}/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${_generated}/${package}/changelog.gz ${_packaging}/copyright
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

# Man pages made from each program's --help and --version (help2man), so they never drift.
find_program(WINORVEX_HELP2MAN help2man)
set(_man_programs
  "winorvex|station|acquisition station of a race-timing installation|winorvex.h2m"
  "winorvex-command|station|send one command to a running WinORVEX station|tool.h2m"
  "winorvex-boxcmd|station|run one box command on the readers of a WinORVEX data folder|tool.h2m"
  "winorvex-export|station|export detection-file lines as the WinORVEX station does|tool.h2m"
  "winorvex-import|station|search a chip reader's log as the WinORVEX import does|tool.h2m"
  "winorvex-acquire|station|record the reads of a data folder's readers without windows|tool.h2m"
  "winorvex-feed|station|run reader lines through the WinORVEX detection path|tool.h2m"
  "orvex-box-sim|simulators|simulated RFID chip reader on loopback or a pseudo-terminal|tool.h2m"
  "winorvex-results-sim|simulators|simulated results program for the WinORVEX station|tool.h2m")
if(WINORVEX_HELP2MAN)
  set(_man_pages)
  foreach(entry IN LISTS _man_programs)
    string(REPLACE "|" ";" fields "${entry}")
    list(GET fields 0 program)
    list(GET fields 1 component)
    list(GET fields 2 summary)
    list(GET fields 3 include)
    if(NOT TARGET ${program})
      continue()
    endif()
    set(page ${_generated}/man/${program}.1)
    add_custom_command(OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${_generated}/man
      COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=1796817600 LC_ALL=C.UTF-8
              ${WINORVEX_HELP2MAN} --no-info --section=1 --name=${summary}
              --include=${_packaging}/man/${include} --output=${page} $<TARGET_FILE:${program}>
      COMMAND gzip -9nf ${page}
      DEPENDS ${program} ${_packaging}/man/${include}
      COMMENT "Man page of ${program}"
      VERBATIM)
    list(APPEND _man_pages ${page}.gz)
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
  endforeach()
  add_custom_target(winorvex_man_pages ALL DEPENDS ${_man_pages})
else()
  message(STATUS "help2man not found: no man pages (scripts/setup.sh installs it)")
endif()

# The packages.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME winorvex)
set(CPACK_PACKAGE_VENDOR Norvane)
set(CPACK_PACKAGE_CONTACT "Norvane <support@norvane.com>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_COMPONENTS_ALL station simulators)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.norvane.com/winorvex")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_STATION_PACKAGE_NAME winorvex)
set(CPACK_DEBIAN_STATION_PACKAGE_DEPENDS adduser)
# Qt loads the voice at run time; the demo starts the simulators.
set(CPACK_DEBIAN_STATION_PACKAGE_RECOMMENDS "qt6-speech-flite-plugin, winorvex-simulators (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_STATION_PACKAGE_CONTROL_EXTRA ${_packaging}/postinst)
set(CPACK_COMPONENT_STATION_DESCRIPTION
    "race-timing acquisition station for RFID chip readers
WinORVEX connects to up to four RFID chip readers over TCP or a serial port,
turns every chip read into a detection, records it in the run's detection file
and forwards it live to the race-results program. It exports, uploads and
imports detections, and runs without windows as a systemd service
(winorvex-headless@.service). The command-line tools send commands to a
running station, run box commands, export, import and record reads.")

set(CPACK_DEBIAN_SIMULATORS_PACKAGE_NAME winorvex-simulators)
set(CPACK_DEBIAN_SIMULATORS_PACKAGE_SECTION misc)
set(CPACK_COMPONENT_SIMULATORS_DESCRIPTION
    "simulated chip readers and results program for WinORVEX
orvex-box-sim plays an ELITE or a Lite RFID chip reader on loopback or on a
pseudo-terminal; winorvex-results-sim plays the results program's detection
receiver. With them `winorvex --demo` shows detections at once, and a timing
crew can rehearse without readers.")

include(CPack)
