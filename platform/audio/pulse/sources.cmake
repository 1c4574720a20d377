# The sound-server backend: libpulse's asynchronous API on its threaded main
# loop (PulseAudio, or PipeWire's server for the same protocol).
find_package(PkgConfig REQUIRED)
pkg_check_modules(PULSE REQUIRED libpulse)
target_sources(sonvale_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/PulseBackend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PulseConnection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PulseLibrary.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PulseMixer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PulseOutput.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PulseWaveIn.cpp)
# libpulse is loaded on first use (PulseLibrary), not linked: only its
# headers are needed here.
target_include_directories(sonvale_platform SYSTEM PRIVATE ${PULSE_INCLUDE_DIRS})
target_compile_options(sonvale_platform PRIVATE ${PULSE_CFLAGS_OTHER})
