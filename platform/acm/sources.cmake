# Compression manager: driver list, format tags, metrics and the decoders.
target_sources(sonvale_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Acm.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AcmCodecs.cpp)
