# What `cmake --install` puts where, and the packages CPack makes of it:
#   - on Linux: the command-line program and its manual page, as the Debian package "recaster";
#   - in the Windows build: a ZIP of Recaster.exe, recaster-cli.exe and the README.
# Included from the top-level CMakeLists.txt after every target exists.

set(CPACK_PACKAGE_NAME recaster)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Recaster developers")
set(CPACK_PACKAGE_CONTACT "Recaster developers <recaster@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "converts Ornvale 5 server settings into the Ornvale 6 JSON configuration")
set(CPACK_PACKAGE_DESCRIPTION
    "Recaster reads the version 5 server settings file (UTF-16 XML), shows it, and converts its network \
and storage settings into the JSON document that the version 6 management program imports, listing \
what a person has to finish by hand.")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_STRIP_FILES ON)  # the programs without their debugging information

if(WIN32)
  # The ZIP holds the two programs and the README, all at its top level.
  set(windows_programs)
  foreach(program Recaster recaster-cli)
    if(TARGET ${program})
      list(APPEND windows_programs ${program})
    endif()
  endforeach()
  if(windows_programs)
    install(TARGETS ${windows_programs} RUNTIME DESTINATION . COMPONENT windows)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION . COMPONENT windows)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL windows)
  set(CPACK_ARCHIVE_WINDOWS_FILE_NAME recaster-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  # The manual page, compressed as Debian keeps them.
  find_program(RECASTER_GZIP gzip)
  set(man_page ${PROJECT_SOURCE_DIR}/docs/recaster.1)
  if(RECASTER_GZIP)
    add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/recaster.1.gz
                       COMMAND ${RECASTER_GZIP} -9 -n -c ${man_page} > ${PROJECT_BINARY_DIR}/recaster.1.gz
                       DEPENDS ${man_page} VERBATIM)
    add_custom_target(recaster_man_page ALL DEPENDS ${PROJECT_BINARY_DIR}/recaster.1.gz)
    set(man_page ${PROJECT_BINARY_DIR}/recaster.1.gz)
  endif()
  install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT cli)

  set(CPACK_GENERATOR DEB)
  set(CPACK_COMPONENTS_ALL cli)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # recaster_1.0.1_amd64.deb
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
  # The run-time libraries (libc6, libstdc++6, libgcc-s1) come from dpkg-shlibdeps.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
