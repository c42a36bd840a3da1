# CPack pre-build script: CPack creates the installation prefix in every package's staging
# folder; a package that puts nothing there (the relay's) must not ship the empty folders.
file(GLOB staging_folders LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(staging ${staging_folders})
  set(folder "${staging}${CPACK_PACKAGING_INSTALL_PREFIX}")
  # From the prefix upward, as long as each folder is empty.
  while(IS_DIRECTORY "${folder}" AND NOT folder STREQUAL staging)
    file(GLOB entries LIST_DIRECTORIES true "${folder}/*" "${folder}/.*")
    if(entries)
      break()
    endif()
    file(REMOVE_RECURSE "${folder}")
    get_filename_component(folder "${folder}" DIRECTORY)
  endwhile()
endforeach()
