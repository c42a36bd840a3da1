# CPack post-build script: a package must not own the folders above the installation prefix
# (/opt): dpkg would remove them with the package when they are left empty, though they
# belong to the system. The tool's preinst makes them instead.
find_program(python3 python3 REQUIRED)
get_filename_component(folder "${CPACK_PACKAGING_INSTALL_PREFIX}" DIRECTORY)
set(parents)
while(NOT folder STREQUAL "/" AND NOT folder STREQUAL "")
  list(APPEND parents ".${folder}")
  get_filename_component(folder "${folder}" DIRECTORY)
endwhile()
foreach(package ${CPACK_PACKAGE_FILES})
  execute_process(COMMAND ${python3} ${CMAKE_CURRENT_LIST_DIR}/drop_archive_folders.py
                          ${package} ${parents}
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "could not drop ${parents} from ${package}")
  endif()
endforeach()
