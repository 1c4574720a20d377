# Audio services: wave-in, audio output, mixer and multimedia timer, each over
# ALSA and the virtual card.
find_package(PkgConfig REQUIRED)
pkg_check_modules(ALSA REQUIRED IMPORTED_TARGET alsa)
target_sources(sonvale_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/AlsaCommon.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AlsaMixer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AlsaMixerMapping.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AlsaOutput.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AlsaWaveIn.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Mixer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MMTimer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VirtualCard.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VirtualMixer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VirtualOutput.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VirtualWaveIn.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WaveIn.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WaveInDevice.cpp)
target_link_libraries(sonvale_platform PRIVATE PkgConfig::ALSA)
