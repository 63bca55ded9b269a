# ravolen_library(NAME [HEADERS_ONLY] [FOLDER folder] [SOURCES ...] [DEPENDS ...] [LINK ...])
#
# Each library shows its users one folder of src/ and nothing else: "win/Form.h" compiles only
# where a library that exposes win/ is linked, so an include against the layering fails to build.
# The folder is seen through a link in the build tree; where no link can be made (Windows without
# the right to create one), the whole of src/ is seen and only the Linux build checks the layers.
function(ravolen_library name)
  cmake_parse_arguments(arg "HEADERS_ONLY" "FOLDER" "SOURCES;DEPENDS;LINK" ${ARGN})
  if(NOT arg_FOLDER)
    set(arg_FOLDER ${name})
  endif()
  set(view ${CMAKE_BINARY_DIR}/include/${arg_FOLDER})
  if(NOT EXISTS ${view}/${arg_FOLDER})
    file(MAKE_DIRECTORY ${view})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${arg_FOLDER} ${view}/${arg_FOLDER}
         SYMBOLIC RESULT linked)
    if(NOT linked STREQUAL "0")
      set(view ${PROJECT_SOURCE_DIR}/src)
    endif()
  endif()

  if(arg_HEADERS_ONLY)
    add_library(ravolen_${name} INTERFACE)
    target_include_directories(ravolen_${name} INTERFACE ${view})
    target_link_libraries(ravolen_${name} INTERFACE ravolen_options ${arg_DEPENDS} ${arg_LINK})
  else()
    add_library(ravolen_${name} STATIC ${arg_SOURCES})
    target_include_directories(ravolen_${name} PUBLIC ${view})
    target_link_libraries(ravolen_${name} PUBLIC ravolen_options ${arg_DEPENDS}
                          PRIVATE ${arg_LINK})
  endif()
endfunction()
