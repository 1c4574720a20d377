# Opening files that must be regular ones, without blocking on anything else.
target_sources(sonvale_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/RegularFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RegularFile.h)
