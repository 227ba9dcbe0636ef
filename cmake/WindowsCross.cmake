# What the Windows cross-build adds (cmake/mingw-w64-x86_64.cmake): the build machine's header-only
# Boost, seen by the cross compiler without the rest of /usr/include, and GoogleTest built for the target
# from Debian's sources.

if(RECASTER_SANITIZE)
  message(FATAL_ERROR "RECASTER_SANITIZE is for the native build; mingw-w64 has no AddressSanitizer")
endif()

# A folder holding only links to the header trees we use, added as a system include folder.
set(RECASTER_CROSS_INCLUDE ${CMAKE_BINARY_DIR}/cross-include)
file(MAKE_DIRECTORY ${RECASTER_CROSS_INCLUDE})
foreach(tree boost CLI)
  if(EXISTS /usr/include/${tree} AND NOT EXISTS ${RECASTER_CROSS_INCLUDE}/${tree})
    file(CREATE_LINK /usr/include/${tree} ${RECASTER_CROSS_INCLUDE}/${tree} SYMBOLIC)
  endif()
endforeach()
if(NOT EXISTS ${RECASTER_CROSS_INCLUDE}/boost/version.hpp)
  message(FATAL_ERROR "Boost headers not found in /usr/include/boost (install libboost1.81-dev)")
endif()
add_library(Boost::headers INTERFACE IMPORTED)
set_target_properties(Boost::headers PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${RECASTER_CROSS_INCLUDE})
# find_package(CLI11) looks only in the target's root; a package file of our own names the headers.
set(RECASTER_CROSS_PACKAGES ${CMAKE_BINARY_DIR}/cross-packages)
file(WRITE ${RECASTER_CROSS_PACKAGES}/CLI11Config.cmake
     "if(NOT TARGET CLI11::CLI11)\n"
     "  add_library(CLI11::CLI11 INTERFACE IMPORTED)\n"
     "  set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${RECASTER_CROSS_INCLUDE})\n"
     "endif()\n")
set(CLI11_DIR ${RECASTER_CROSS_PACKAGES} CACHE PATH "CLI11's package file for the cross-build" FORCE)

# The tests find their fixtures by build-machine paths; under Wine that machine's root is drive Z:.
# With the drive in front, "/work/..." is not taken for a Windows-style "/option" either.
set(RECASTER_HOST_DRIVE "Z:")

# GoogleTest from /usr/src/googletest (package googletest), built for Windows inside this build.
if(RECASTER_BUILD_TESTS)
  set(RECASTER_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build for the target")
  if(NOT EXISTS ${RECASTER_GTEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found in ${RECASTER_GTEST_SOURCE} (install googletest)")
  endif()
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${RECASTER_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  if(NOT TARGET GTest::gtest)  # GoogleTest 1.11 and later name them GTest:: itself
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
  # Listing the tests of a program under Wine takes a second or two: do it when ctest runs, not when
  # the program is linked.
  set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
endif()
