# Qt dialog services: message box, Yes/No and the save dialog.
list(APPEND PLATFORM_QT_TEST_SOURCES ${CMAKE_CURRENT_LIST_DIR}/QtUiServicesTest.cpp)
