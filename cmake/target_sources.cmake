# 'tovefilt_sources_of()' - Absolute source list of a target defined in
# another folder, so that a variant of it can be compiled with other
# definitions (the production library, a filter with its own module
# directory) without touching that folder.
function(tovefilt_sources_of target out)
  get_target_property(_srcs ${target} SOURCES)
  get_target_property(_dir ${target} SOURCE_DIR)
  set(_abs "")
  foreach(_s IN LISTS _srcs)
    if(_s MATCHES "^\\$<" OR IS_ABSOLUTE "${_s}")
      list(APPEND _abs "${_s}")
    else()
      list(APPEND _abs "${_dir}/${_s}")
    endif()
  endforeach()
  set(${out} "${_abs}" PARENT_SCOPE)
endfunction()
