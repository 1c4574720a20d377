# Audio services: wave-in, audio output, mixer and multimedia timer. The
# services and the wave-in device live here; each backend lists its own
# sources in <backend>/sources.cmake.
target_sources(sonvale_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/AudioBackend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Mixer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MMTimer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WaveIn.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WaveInDevice.cpp)
foreach(backend alsa virtual pulse)
  if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/${backend}/sources.cmake)
    include(${CMAKE_CURRENT_LIST_DIR}/${backend}/sources.cmake)
  endif()
endforeach()
