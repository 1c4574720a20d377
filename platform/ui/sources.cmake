# User-interface services (no Qt here; the Qt implementations live in ui/qt).
# The message window and the dialog services each list their sources in a
# fragment of their own.
foreach(part messagewindow services)
  include(${CMAKE_CURRENT_LIST_DIR}/${part}.cmake)
endforeach()
