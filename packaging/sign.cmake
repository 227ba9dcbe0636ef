# Signs Recaster.exe and recaster-cli.exe where CPack staged them (stripped), before it packs them into
# the ZIP or hands them to packaging/msi.cmake. scripts/package.sh passes this script to cpack, with
# itself as the signer, only when it has a certificate:
#   cpack -G ZIP -D CPACK_PRE_BUILD_SCRIPTS=packaging/sign.cmake -D CPACK_RECASTER_SIGN_SCRIPT=scripts/package.sh

set(stage ${CPACK_TEMPORARY_DIRECTORY})
if(EXISTS ${stage}/windows/Recaster.exe)
  set(stage ${stage}/windows)
endif()
set(programs ${stage}/Recaster.exe ${stage}/recaster-cli.exe)
foreach(program IN LISTS programs)
  if(NOT EXISTS ${program})
    message(FATAL_ERROR "sign: ${program} was not staged; build the Windows programs first")
  endif()
endforeach()
execute_process(COMMAND bash ${CPACK_RECASTER_SIGN_SCRIPT} --sign ${programs} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "sign: the programs could not be signed (${status})")
endif()
