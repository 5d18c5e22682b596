# pagelet_add_version_resource(<target> <file name> <description> <VFT_DLL|VFT_APP>)
# Adds a VERSIONINFO resource to a Windows binary: file and product version
# are the project's version (project(... VERSION) in the top CMakeLists.txt).
function(pagelet_add_version_resource target fileName description fileType)
  set(PAGELET_RC_FILE_NAME "${fileName}")
  set(PAGELET_RC_DESCRIPTION "${description}")
  set(PAGELET_RC_FILE_TYPE "${fileType}")
  get_filename_component(PAGELET_RC_INTERNAL_NAME "${fileName}" NAME_WE)
  set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc")
  configure_file("${PROJECT_SOURCE_DIR}/cmake/version.rc.in" "${rc}" @ONLY)
  target_sources(${target} PRIVATE "${rc}")
endfunction()
