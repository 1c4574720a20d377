# Media player service: sound files through the audio output (libsndfile).
find_package(PkgConfig REQUIRED)
pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET sndfile)
target_sources(sonvale_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/MediaPlayer.cpp)
target_link_libraries(sonvale_platform PRIVATE PkgConfig::SNDFILE)
