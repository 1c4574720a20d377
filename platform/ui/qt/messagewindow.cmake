# Qt message windows.
target_sources(sonvale_platform_qt PRIVATE ${CMAKE_CURRENT_LIST_DIR}/QtMessageWindow.cpp
                                           ${CMAKE_CURRENT_LIST_DIR}/QtMessageWindow.h)
