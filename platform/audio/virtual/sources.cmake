# The virtual card: an in-process sound card for tests, benchmarks and
# machines without sound hardware.
target_sources(sonvale_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/VirtualBackend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VirtualCard.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VirtualMixer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VirtualOutput.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VirtualWaveIn.cpp)
