# The library's source is built into the target (a loadable module would
# not carry the fuzzer's coverage instrumentation).
sonvale_add_fuzzer(mp3enc
                   SOURCES ${CMAKE_CURRENT_LIST_DIR}/mp3enc_fuzz.cpp
                           ${PROJECT_SOURCE_DIR}/libs/mp3enc/mp3enc.cpp
                   LIBS ${MP3LAME})
target_include_directories(fuzz_mp3enc PRIVATE ${MP3LAME_INCLUDE})
