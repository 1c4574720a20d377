sonvale_add_fuzzer(riff SOURCES ${CMAKE_CURRENT_LIST_DIR}/riff_fuzz.cpp
                   LIBS sonvale_capture sonvale_core sonvale_platform)
