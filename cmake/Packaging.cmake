# What `cmake --install` puts where, and the packages CPack makes of it:
#   - on Linux: the command-line program, its manual page, the README, the guide, the changelog, the
#     copyright file (which holds every licence text), the JSON report's schema, the version 6
#     schema and the schema of the check's JSON output, and the completion scripts for bash, zsh and
#     fish, as the Debian package "recaster";
#   - in the Windows build: a ZIP of Recaster.exe, recaster-cli.exe, the README, the guide, LICENSE,
#     THIRD-PARTY-NOTICES, the three schemas and recaster-cli.exe's PowerShell completion script
#     (`cpack -G ZIP`), and an MSI of the same
#     (`cpack -G External`, which runs packaging/msi.cmake).
# Included from the top-level CMakeLists.txt after every target exists.

set(CPACK_PACKAGE_NAME recaster)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Recaster developers")
set(CPACK_PACKAGE_CONTACT "Recaster developers <recaster@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "converts Ornvale 5 server settings into the Ornvale 6 JSON configuration")
# Wrapped as Debian wants it (CPack indents each line and marks the empty one).
set(CPACK_PACKAGE_DESCRIPTION "\
Recaster reads the settings file of an Ornvale syslog server of version 5
(UTF-16 XML) and writes the JSON configuration that the version 6
management program imports, so that an administrator in mid-migration
types nothing again.

It carries the network listeners and the storage retention over, and lists
every other setting that differs from its default as a note to finish by
hand. It can also print the whole version 5 file as JSON.")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_STRIP_FILES ON)  # the programs without their debugging information

if(WIN32)
  # The ZIP holds the two programs and the files that go with them, all at its top level.
  set(windows_programs)
  foreach(program Recaster recaster-cli)
    if(TARGET ${program})
      list(APPEND windows_programs ${program})
    endif()
  endforeach()
  if(windows_programs)
    install(TARGETS ${windows_programs} RUNTIME DESTINATION . COMPONENT windows)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/guide.md
                ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES
                ${PROJECT_SOURCE_DIR}/docs/report.schema.json ${PROJECT_SOURCE_DIR}/docs/v6.schema.json
                ${PROJECT_SOURCE_DIR}/docs/check.schema.json ${PROJECT_SOURCE_DIR}/docs/diff.schema.json
          DESTINATION . COMPONENT windows)
  # The PowerShell completion of recaster-cli.exe, written by the program just built: the build runs it
  # under Wine, the cross-build's emulator (CMAKE_CROSSCOMPILING_EMULATOR, which ctest uses too), so
  # that the script is the parser's own and never a copy that falls behind.
  if(TARGET recaster-cli)
    set(powershell_completion ${PROJECT_BINARY_DIR}/packaging/recaster-cli-completion.ps1)
    add_custom_command(OUTPUT ${powershell_completion}
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
                       COMMAND recaster-cli completion powershell > ${powershell_completion}
                       DEPENDS recaster-cli VERBATIM)
    add_custom_target(recaster_completion ALL DEPENDS ${powershell_completion})
    install(FILES ${powershell_completion} DESTINATION . COMPONENT windows)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL windows)
  set(CPACK_ARCHIVE_WINDOWS_FILE_NAME recaster-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)

  # The MSI (`cpack -G External`): CPack stages the same files, stripped, and packaging/msi.cmake
  # builds recaster-<version>-x64.msi from them with wixl. Product name and version come from the
  # program's version resource, so that the installer and the program never disagree.
  set(CPACK_EXTERNAL_ENABLE_STAGING ON)
  set(CPACK_EXTERNAL_REQUESTED_VERSIONS 1.0)
  set(CPACK_EXTERNAL_PACKAGE_SCRIPT ${PROJECT_SOURCE_DIR}/packaging/msi.cmake)
  set(CPACK_RECASTER_WXS ${PROJECT_SOURCE_DIR}/packaging/recaster.wxs)
  set(CPACK_RECASTER_ICON ${PROJECT_SOURCE_DIR}/app/recaster.ico)
  # Fixed for the life of the product: later versions find and replace earlier ones by it.
  set(CPACK_RECASTER_UPGRADE_CODE B831A17D-E643-487A-9859-EB5B40C5B71E)
  set(CPACK_RECASTER_FOLDER Recaster)
  set(resources ${PROJECT_SOURCE_DIR}/app/recaster.rc)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${resources})
  file(STRINGS ${resources} version_values REGEX "VALUE \"Product(Name|Version)\"")
  foreach(line IN LISTS version_values)
    if(line MATCHES "VALUE \"ProductName\", \"([^\"]*)\"")
      set(CPACK_RECASTER_RESOURCE_NAME "${CMAKE_MATCH_1}")
    elseif(line MATCHES "VALUE \"ProductVersion\", \"([^\"]*)\"")
      set(CPACK_RECASTER_RESOURCE_VERSION "${CMAKE_MATCH_1}")
    endif()
  endforeach()
else()
  # The manual page, the changelog, the README and the guide compressed as Debian keeps them (gzip
  # -9n: no name and no time stamp inside, so unchanged text gives unchanged bytes); the copyright file
  # as it is.
  find_program(RECASTER_GZIP gzip)
  set(packed_files)
  function(recaster_install_gzipped source destination)
    get_filename_component(name ${source} NAME)
    if(RECASTER_GZIP)
      set(packed ${PROJECT_BINARY_DIR}/packaging/${name}.gz)
      add_custom_command(OUTPUT ${packed}
                         COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
                         COMMAND ${RECASTER_GZIP} -9 -n -c ${source} > ${packed}
                         DEPENDS ${source} VERBATIM)
      set(packed_files ${packed_files} ${packed} PARENT_SCOPE)
      set(source ${packed})
    endif()
    install(FILES ${source} DESTINATION ${destination} COMPONENT cli)
  endfunction()
  set(doc_folder ${CMAKE_INSTALL_DATAROOTDIR}/doc/recaster)
  recaster_install_gzipped(${PROJECT_SOURCE_DIR}/docs/recaster.1 ${CMAKE_INSTALL_MANDIR}/man1)
  recaster_install_gzipped(${PROJECT_SOURCE_DIR}/packaging/changelog ${doc_folder})
  recaster_install_gzipped(${PROJECT_SOURCE_DIR}/README.md ${doc_folder})
  recaster_install_gzipped(${PROJECT_SOURCE_DIR}/docs/guide.md ${doc_folder})
  if(packed_files)
    add_custom_target(recaster_packed_docs ALL DEPENDS ${packed_files})
  endif()
  # The completion scripts, written at build time by the program just built (`recaster completion
  # SHELL`), where bash-completion, zsh and fish look for them.
  set(completion_scripts)
  foreach(shell_path "bash;${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions;recaster"
                     "zsh;${CMAKE_INSTALL_DATAROOTDIR}/zsh/vendor-completions;_recaster"
                     "fish;${CMAKE_INSTALL_DATAROOTDIR}/fish/vendor_completions.d;recaster.fish")
    list(GET shell_path 0 shell)
    list(GET shell_path 1 folder)
    list(GET shell_path 2 name)
    set(script ${PROJECT_BINARY_DIR}/packaging/completion/${shell}/${name})
    add_custom_command(OUTPUT ${script}
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging/completion/${shell}
                       COMMAND recaster completion ${shell} > ${script}
                       DEPENDS recaster VERBATIM)
    list(APPEND completion_scripts ${script})
    install(FILES ${script} DESTINATION ${folder} COMPONENT cli)
  endforeach()
  add_custom_target(recaster_completion ALL DEPENDS ${completion_scripts})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${doc_folder} COMPONENT cli)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/report.schema.json ${PROJECT_SOURCE_DIR}/docs/v6.schema.json
                ${PROJECT_SOURCE_DIR}/docs/check.schema.json ${PROJECT_SOURCE_DIR}/docs/diff.schema.json
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/recaster COMPONENT cli)

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
