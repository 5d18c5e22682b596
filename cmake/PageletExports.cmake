# The lister exports of the plug-in: the names in the X(...) lines of
# PAGELET_LISTER_EXPORTS in src/plugin/ListerApi.h, the one list that the
# Windows .def file and the Linux version script are both written from.
function(pagelet_lister_exports out_var)
  set(api ${PROJECT_SOURCE_DIR}/src/plugin/ListerApi.h)
  file(READ ${api} text)
  string(REGEX MATCHALL "X\\(List[A-Za-z]+\\)" lines "${text}")
  set(names "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "X\\((List[A-Za-z]+)\\)" "\\1" name "${line}")
    list(APPEND names ${name})
  endforeach()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${api})
  set(${out_var} ${names} PARENT_SCOPE)
endfunction()
