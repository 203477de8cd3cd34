# Shared by the clang fuzz tree and the corpus replay of the normal build:
# the real sources the targets run over, and the target names.
get_filename_component(varnel_fuzz_root ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
set(VARNEL_FUZZ_TARGETS
  properties xml_parser protocol3014 delta_serial delta_usb hid_descriptor
  http_response ftp_replies message_format)

set(VARNEL_FUZZ_CORE_SOURCES "")
foreach(dir controller download settings data calc device net platform)
  file(GLOB dir_sources CONFIGURE_DEPENDS ${varnel_fuzz_root}/src/${dir}/*.cpp)
  list(APPEND VARNEL_FUZZ_CORE_SOURCES ${dir_sources})
endforeach()
# What the targets need beyond the core library.
set(VARNEL_FUZZ_SUPPORT_SOURCES
  ${varnel_fuzz_root}/ports/hid/HidReportDescriptor.cpp
  ${varnel_fuzz_root}/ports/hid/HidFieldValue.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/FuzzPort.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/FuzzSocketApi.cpp)
