# The ALSA mixer mapping, and ALSA capture/playback through the file plugin.
list(APPEND PLATFORM_TEST_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/AlsaBackendTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MixerAlsaMappingTest.cpp)
find_package(PkgConfig REQUIRED)
pkg_check_modules(ALSA REQUIRED IMPORTED_TARGET alsa)
list(APPEND PLATFORM_TEST_LIBS PkgConfig::ALSA)
