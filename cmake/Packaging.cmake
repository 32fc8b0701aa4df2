# Installation and the Debian package.
#
# Included from the top CMakeLists.txt before the subdirectories, so that they can
# call kestra_ship_files(); the install rules and CPack are set up at the end of the
# top directory (PackagingRules.cmake), once every program target exists.
#
#   cmake --install build --prefix /usr/local    programs, shipped files, menus, manuals
#   cmake --build build --target package         build/kestra_<version>_<arch>.deb
include(GNUInstallDirs)

# Files the programs ship (ini files, presets) live here in an installed tree and
# beside the executables in the build tree (com::ShippedFilePath looks in both).
set(KESTRA_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/kestra)

set(KESTRA_PACKAGE_MAINTAINER "Kestra developers <kestra@tarvenco.example.org>"
    CACHE STRING "Maintainer line of the Debian package")

find_program(HELP2MAN help2man)
set(_kestra_manpages_default OFF)
if(HELP2MAN AND NOT KESTRA_SANITIZE AND NOT KESTRA_FUZZ)
  set(_kestra_manpages_default ON)
endif()
option(KESTRA_MANPAGES "Make the manual pages from the programs' --help (help2man)" ${_kestra_manpages_default})

# kestra_ship_files(FILES <file>... [SUBDIR <folder>])
# Ships files with the programs: installed into share/kestra[/SUBDIR] and copied
# beside every program in the build tree, so both trees find them the same way.
function(kestra_ship_files)
  cmake_parse_arguments(SHIP "" "SUBDIR" "FILES" ${ARGN})
  foreach(file ${SHIP_FILES})
    get_filename_component(file ${file} ABSOLUTE)
    set_property(GLOBAL APPEND PROPERTY KESTRA_SHIPPED_FILES "${SHIP_SUBDIR}|${file}")
  endforeach()
endfunction()

# (The deferred call reads its arguments when it runs, hence the variable.)
set(KESTRA_PACKAGING_RULES ${CMAKE_CURRENT_LIST_DIR}/PackagingRules.cmake)
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL include ${KESTRA_PACKAGING_RULES})
