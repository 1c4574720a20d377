# Message windows (plain implementation and the handle registry).
target_sources(sonvale_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/MessageWindow.cpp)
