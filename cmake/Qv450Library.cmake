# qv450_library(NAME [DEPENDS lib...]): a static library from every .cpp file of the
# calling folder except the program entry main.cpp. Folders add files without
# touching their CMakeLists.txt.
function(qv450_library name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
    # The folders call each other both ways (settings, messages, dialogs): let the
    # linker see each cycle often enough, whichever library a program names first.
    set_property(TARGET ${name} PROPERTY LINK_INTERFACE_MULTIPLICITY 3)
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPENDS})
  endif()
endfunction()
