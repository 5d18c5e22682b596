# The install package, dist/pagelet-VERSION.zip (scripts/package.sh runs
# CPack in the win64 build): both plug-ins, the file managers' install
# descriptor, a user README and the licence, all at the top of the zip.
# The 32-bit plug-in comes from the win32 build beside this one.
if(NOT PAGELET_WINDOWS OR NOT CMAKE_SIZEOF_VOID_P EQUAL 8 OR NOT TARGET pagelet_plugin)
  return()
endif()

set(PAGELET_PACKAGE_WIN32_PLUGIN "${PROJECT_SOURCE_DIR}/build/win32/src/plugin/pagelet.wlx"
  CACHE FILEPATH "The 32-bit plug-in packed beside this build's pagelet.wlx64")

set(_package_dir "${CMAKE_BINARY_DIR}/package")
configure_file(packaging/pluginst.inf.in "${_package_dir}/pluginst.inf" @ONLY NEWLINE_STYLE CRLF)
configure_file(packaging/README.txt.in "${_package_dir}/README.txt" @ONLY NEWLINE_STYLE CRLF)
configure_file(LICENSE "${_package_dir}/LICENSE.txt" @ONLY NEWLINE_STYLE CRLF)

install(TARGETS pagelet_plugin RUNTIME DESTINATION .)
install(FILES "${PAGELET_PACKAGE_WIN32_PLUGIN}" "${_package_dir}/pluginst.inf" "${_package_dir}/README.txt"
  "${_package_dir}/LICENSE.txt" DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME pagelet)
set(CPACK_PACKAGE_VENDOR "Pagelet developers")
set(CPACK_PACKAGE_FILE_NAME "pagelet-${PROJECT_VERSION}")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
include(CPack)
