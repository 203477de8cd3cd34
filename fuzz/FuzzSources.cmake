# Shared by the clang fuzz tree and the corpus replay of the normal build:
# the target names, the core modules they run over and the sources they need
# beyond those.
get_filename_component(varnel_fuzz_root ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
set(VARNEL_FUZZ_TARGETS
  properties xml_parser protocol3014 delta_serial delta_usb hid_descriptor
  http_response ftp_replies message_format chunked_body http_fetch)

set(VARNEL_FUZZ_MODULES platform settings data net device)
set(VARNEL_FUZZ_SUPPORT_SOURCES
  ${varnel_fuzz_root}/ports/hid/HidReportDescriptor.cpp
  ${varnel_fuzz_root}/ports/hid/HidFieldValue.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/FuzzPort.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/FuzzSocketApi.cpp)
