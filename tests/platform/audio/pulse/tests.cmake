# The sound-server backend against a private PulseAudio daemon the tests
# start and stop themselves.
list(APPEND PLATFORM_TEST_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/PulseBackendTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PulseLibraryTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PulseServer.cpp)
find_package(PkgConfig REQUIRED)
pkg_check_modules(ALSA REQUIRED IMPORTED_TARGET alsa)
list(APPEND PLATFORM_TEST_LIBS PkgConfig::ALSA)
