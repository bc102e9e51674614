# The module is built as one static library per layer, lowest first: component (the COM and text
# toolkit), xml, session, then the products voting and agenda, then extension. Each layer links
# the one below it and sees, besides the public headers, only its own folder and those of the
# layers it links: an include that runs upward (xml including a session header) fails to build.
#
# A layer's folder is reached as "<folder>/name.h" through a link of its own in the build tree, so
# that no include path names the source root, where every folder would be visible.
function(quenlo_layer_scope target folder)
  set(scope ${PROJECT_BINARY_DIR}/layers/${folder})
  file(MAKE_DIRECTORY ${scope})
  if(NOT EXISTS ${scope}/${folder})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${scope}/${folder} SYMBOLIC)
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${scope})
  else()
    target_include_directories(${target} PUBLIC ${scope})
  endif()
endfunction()
