# Install rules and the Debian package (run at the end of the top directory, see
# Packaging.cmake).
set(_pkg ${PROJECT_SOURCE_DIR}/packaging)
set(_kestra_programs kestra kalvex kestra-cli kalvex-cli q740-sim)

# Programs, linked with read-only relocations resolved at start (only a relink).
foreach(program ${_kestra_programs})
  if(TARGET ${program})
    target_link_options(${program} PRIVATE -Wl,-z,relro,-z,now)
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# Shipped files: share/kestra/ when installed, beside each program in the build tree.
get_property(_shipped GLOBAL PROPERTY KESTRA_SHIPPED_FILES)
if(_shipped)
  set(_copies)
  foreach(entry ${_shipped})
    string(REPLACE "|" ";" entry "${entry}")
    list(GET entry 0 subdir)
    list(GET entry 1 file)
    install(FILES ${file} DESTINATION ${KESTRA_INSTALL_DATADIR}/${subdir})
    foreach(program ${_kestra_programs})
      if(TARGET ${program})
        list(APPEND _copies COMMAND ${CMAKE_COMMAND} -E make_directory $<TARGET_FILE_DIR:${program}>/${subdir}
             COMMAND ${CMAKE_COMMAND} -E copy_if_different ${file} $<TARGET_FILE_DIR:${program}>/${subdir}/)
      endif()
    endforeach()
  endforeach()
  add_custom_target(shipped_files ALL ${_copies} COMMENT "Copying the shipped files beside the programs" VERBATIM)
  foreach(program ${_kestra_programs})
    if(TARGET ${program})
      add_dependencies(${program} shipped_files)
    endif()
  endforeach()
endif()

# Menu entries and icons of the window programs.
foreach(program kestra kalvex)
  if(TARGET ${program})
    install(FILES ${_pkg}/${program}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${_pkg}/${program}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  endif()
endforeach()

# The udev rule for the USB adapter. Under a /usr prefix it belongs in /lib/udev
# (<prefix>/../lib, which also holds for the package's staging tree); elsewhere in
# <prefix>/lib/udev.
install(CODE "
  get_filename_component(_kestra_prefix \"\${CMAKE_INSTALL_PREFIX}\" ABSOLUTE)
  get_filename_component(_kestra_prefix_name \"\${_kestra_prefix}\" NAME)
  if(_kestra_prefix_name STREQUAL \"usr\")
    get_filename_component(_kestra_udev \"\${_kestra_prefix}\" DIRECTORY)
    set(_kestra_udev \"\${_kestra_udev}/lib/udev/rules.d\")
    string(REGEX REPLACE \"^//\" \"/\" _kestra_udev \"\${_kestra_udev}\")
  else()
    set(_kestra_udev \"\${_kestra_prefix}/lib/udev/rules.d\")
  endif()
  file(INSTALL DESTINATION \"\${_kestra_udev}\" TYPE FILE PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
       FILES \"${_pkg}/70-tarvenco.rules\")
")

# Manual pages, from each program's --help.
if(KESTRA_MANPAGES)
  set(_man_name_kestra "monitor and calibration program for the Q740 engine control unit")
  set(_man_name_kalvex "firmware loader for the Q740 engine control unit")
  set(_man_name_kestra-cli "receive, send and inspect Q740 ECU data from the command line")
  set(_man_name_kalvex-cli "program the Q740 ECU firmware from the command line")
  set(_man_name_q740-sim "simulated Q740 engine control unit on a pseudo-terminal")
  set(_manpages)
  foreach(program ${_kestra_programs})
    if(TARGET ${program})
      set(page ${PROJECT_BINARY_DIR}/man/${program}.1)
      add_custom_command(
        OUTPUT ${page}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
        COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ${HELP2MAN} --no-info --section=1
                --version-string=${PROJECT_VERSION} "--name=${_man_name_${program}}"
                --include=${_pkg}/man/${program}.h2m --output=${page} $<TARGET_FILE:${program}>
        COMMAND gzip -9nf ${page}
        DEPENDS ${program} ${_pkg}/man/${program}.h2m
        COMMENT "Manual page of ${program}"
        VERBATIM)
      list(APPEND _manpages ${page}.gz)
    endif()
  endforeach()
  add_custom_target(manpages ALL DEPENDS ${_manpages})
  install(FILES ${_manpages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# Copyright and changelog, where Debian expects them.
string(TIMESTAMP KESTRA_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)  # honours SOURCE_DATE_EPOCH
configure_file(${_pkg}/changelog.in ${PROJECT_BINARY_DIR}/packaging/changelog @ONLY)
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.gz
  COMMAND gzip -9nkf ${PROJECT_BINARY_DIR}/packaging/changelog
  DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog
  VERBATIM)
add_custom_target(package_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${_pkg}/copyright ${PROJECT_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kestra)
# The manual and its pictures (docs/pictures, made by `make pictures`).
install(FILES ${PROJECT_SOURCE_DIR}/docs/manual.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kestra)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/pictures DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kestra
        FILES_MATCHING PATTERN "*.png")

# The Debian package: `make package` (or cpack -G DEB in the build folder).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestra)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Kestra developers")
set(CPACK_PACKAGE_CONTACT "${KESTRA_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "workshop tools for the Q740 engine control unit")
set(CPACK_PACKAGE_DESCRIPTION
    "Kestra reads the configuration and the maps of the Q740 engine control unit\n"
    "of a range of motorcycles through the USB CAN adapter or a serial line,\n"
    "stores and loads them as data files and writes them back to the ECU.\n"
    "Kalvex programs the ECU's firmware through its boot loader. kestra-cli and\n"
    "kalvex-cli do the same jobs from the command line, and q740-sim simulates\n"
    "an ECU on a pseudo-terminal for trying the programs without a bike.\n"
    "The package gives the user at the seat access to the USB adapter.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KESTRA_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The windows need a platform plugin, which no library of ours links.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
