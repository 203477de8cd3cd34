# Layering the compiler checks. A module's headers are included as
# "<module>/Name.h" through an include root of its own in the build tree, which
# holds a link to that one folder and nothing else. A target sees the roots of
# the modules it links and no others, so a module that includes one above it
# (one it does not link) stops with "No such file or directory".

# Gives the target the include root of the folder it is defined in, where
# "<module>/" finds that folder's headers.
function(varnel_module_include_root target)
  get_filename_component(module ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  set(root ${CMAKE_BINARY_DIR}/include/${module})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${module} RESULT failed SYMBOLIC)
  if(failed)
    message(FATAL_ERROR "cannot link ${root}/${module} to ${CMAKE_CURRENT_SOURCE_DIR}: ${failed}")
  endif()
  target_include_directories(${target} PUBLIC ${root})
endfunction()

# varnel_add_module(<module> [DEPENDS <module>...]): the folder's sources as
# the library Varnel::<module>, over the modules it may include.
function(varnel_add_module module)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "DEPENDS")
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(varnel_${module} STATIC ${sources})
  add_library(Varnel::${module} ALIAS varnel_${module})
  varnel_module_include_root(varnel_${module})
  list(TRANSFORM arg_DEPENDS PREPEND Varnel::)
  target_link_libraries(varnel_${module} PUBLIC ${arg_DEPENDS})
endfunction()
