# Media player service: sound files through the audio output (libsndfile;
# MPEG audio through libmpg123, which counts frames when a file has no
# information frame). Mp3Input is shared with the MP3 player library.
find_package(PkgConfig REQUIRED)
pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET sndfile)
pkg_check_modules(MPG123 REQUIRED IMPORTED_TARGET libmpg123)
target_sources(sonvale_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/MediaPlayer.cpp
                                        ${CMAKE_CURRENT_LIST_DIR}/Mp3Input.cpp)
target_link_libraries(sonvale_platform PRIVATE PkgConfig::SNDFILE PkgConfig::MPG123)
