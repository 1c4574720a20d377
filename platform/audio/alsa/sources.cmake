# The ALSA backend: snd_pcm capture and playback, snd_mixer simple elements.
find_package(PkgConfig REQUIRED)
pkg_check_modules(ALSA REQUIRED IMPORTED_TARGET alsa)
target_sources(sonvale_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/AlsaBackend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AlsaCommon.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AlsaMixer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AlsaMixerMapping.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AlsaOutput.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AlsaWaveIn.cpp)
target_link_libraries(sonvale_platform PRIVATE PkgConfig::ALSA)
