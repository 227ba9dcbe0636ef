# Builds the MSI from the files CPack staged (`cpack -G External` in the Windows build, which defines
# every CPACK_* variable used here) with wixl, and hands it back to CPack.
#   cpack -G External                                     recaster-<version>-x64.msi
#   cpack -G External -D CPACK_PACKAGE_VERSION=1.0.2 -D CPACK_RECASTER_OTHER_VERSION=ON
#                                                         the same files as another version (tests)

if(NOT CPACK_RECASTER_RESOURCE_NAME OR NOT CPACK_RECASTER_RESOURCE_VERSION)
  message(FATAL_ERROR "msi: no ProductName or ProductVersion in the version resource (app/recaster.rc)")
endif()
# A package built as another version on purpose (-D CPACK_PACKAGE_VERSION) keeps that version; the
# project's own version must be the program's.
if(NOT CPACK_PACKAGE_VERSION STREQUAL CPACK_RECASTER_RESOURCE_VERSION AND NOT CPACK_RECASTER_OTHER_VERSION)
  message(FATAL_ERROR "msi: the project is version ${CPACK_PACKAGE_VERSION} but the version resource "
                      "says ${CPACK_RECASTER_RESOURCE_VERSION}; make them agree")
endif()
find_program(RECASTER_WIXL wixl)
if(NOT RECASTER_WIXL)
  message(FATAL_ERROR "msi: wixl not found (Debian package wixl; bash scripts/setup.sh --windows)")
endif()

# The staged files: the component's folder when CPack stages per component.
set(stage ${CPACK_TEMPORARY_DIRECTORY})
if(EXISTS ${stage}/windows/Recaster.exe)
  set(stage ${stage}/windows)
endif()
foreach(file Recaster.exe recaster-cli.exe README.md guide.md LICENSE THIRD-PARTY-NOTICES report.schema.json
             v6.schema.json check.schema.json diff.schema.json)
  if(NOT EXISTS ${stage}/${file})
    message(FATAL_ERROR "msi: ${file} was not staged in ${stage}; build the Windows programs first")
  endif()
endforeach()

# One product code per version, always the same for that version: a new version is a new product,
# which a major upgrade needs.
string(UUID product_code NAMESPACE ${CPACK_RECASTER_UPGRADE_CODE} NAME "${CPACK_PACKAGE_VERSION}"
       TYPE SHA1 UPPER)

# wixl 0.101 finds sources only by paths relative to where it runs.
set(work ${CPACK_TOPLEVEL_DIRECTORY})
file(RELATIVE_PATH stage_relative ${work} ${stage})
file(COPY_FILE ${CPACK_RECASTER_ICON} ${work}/recaster.ico)
set(msi ${work}/recaster-${CPACK_PACKAGE_VERSION}-x64.msi)
execute_process(
  COMMAND ${RECASTER_WIXL} --arch x64 --output ${msi}
          -D "ProductCode=${product_code}" -D "UpgradeCode=${CPACK_RECASTER_UPGRADE_CODE}"
          -D "ProductName=${CPACK_RECASTER_RESOURCE_NAME}" -D "Manufacturer=${CPACK_PACKAGE_VENDOR}"
          -D "Version=${CPACK_PACKAGE_VERSION}" -D "FolderName=${CPACK_RECASTER_FOLDER}"
          -D "StageDir=${stage_relative}" -D "IconFile=recaster.ico"
          ${CPACK_RECASTER_WXS}
  WORKING_DIRECTORY ${work}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT EXISTS ${msi})
  message(FATAL_ERROR "msi: wixl failed (${status})")
endif()
message(STATUS "msi: ${msi} (product code {${product_code}})")
set(CPACK_EXTERNAL_BUILT_PACKAGES ${msi})
