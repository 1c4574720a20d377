# Audio service tests: the wave-in device and timer shared by every backend,
# then each backend's own tests in audio/<backend>.
list(APPEND PLATFORM_TEST_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/MMTimerTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RingQueueTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WaveInDeviceTest.cpp)
foreach(backend alsa virtual pulse)
  if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/audio/${backend}/tests.cmake)
    include(${CMAKE_CURRENT_LIST_DIR}/audio/${backend}/tests.cmake)
  endif()
endforeach()
