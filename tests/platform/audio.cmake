# Audio service tests: wave-in, output, mixer and timer on the virtual card,
# the ALSA mixer mapping, and ALSA capture/playback through the file plugin.
list(APPEND PLATFORM_TEST_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/AlsaBackendTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AudioOutputVirtualTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ChunkedBytesTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MixerAlsaMappingTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MixerVirtualTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MMTimerTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RingQueueTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VirtualCardTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WaveInDeviceTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WaveInVirtualTest.cpp)
find_package(PkgConfig REQUIRED)
pkg_check_modules(ALSA REQUIRED IMPORTED_TARGET alsa)
list(APPEND PLATFORM_TEST_LIBS PkgConfig::ALSA)
