# Media player service: sound files through the audio output (libsndfile;
# MPEG audio through libmpg123, which counts frames when a file has no
# information frame). Mp3Input is shared with the MP3 player library.
#
# Both decoders are loaded with the loader on first use (MediaLibraries), so
# only their headers are needed here: the platform library does not link
# them, and nothing that links it loads them before the first playback.
find_package(PkgConfig REQUIRED)
pkg_check_modules(SNDFILE REQUIRED sndfile)
pkg_check_modules(MPG123 REQUIRED libmpg123)
target_sources(sonvale_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/MediaLibraries.cpp
                                        ${CMAKE_CURRENT_LIST_DIR}/MediaPlayer.cpp
                                        ${CMAKE_CURRENT_LIST_DIR}/Mp3Input.cpp)
target_include_directories(sonvale_platform SYSTEM PRIVATE ${SNDFILE_INCLUDE_DIRS}
                                                           ${MPG123_INCLUDE_DIRS})
target_compile_options(sonvale_platform PRIVATE ${SNDFILE_CFLAGS_OTHER} ${MPG123_CFLAGS_OTHER})
