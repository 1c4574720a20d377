# The sound-server backend: libpulse's asynchronous API on its threaded main
# loop (PulseAudio, or PipeWire's server for the same protocol).
find_package(PkgConfig REQUIRED)
pkg_check_modules(PULSE REQUIRED IMPORTED_TARGET libpulse)
target_sources(sonvale_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/PulseBackend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PulseConnection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PulseMixer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PulseOutput.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PulseWaveIn.cpp)
target_link_libraries(sonvale_platform PRIVATE PkgConfig::PULSE)
