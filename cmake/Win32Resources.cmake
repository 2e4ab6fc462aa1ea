# Windows resources of a program: the icon, the banner and button glyphs, the version
# information and the manifest, from ui/win32/vellox.rc.in, compiled by windres.
#   vellox_win32_resources(TARGET ORIGINAL_FILENAME [ICON_ONLY])
# ICON_ONLY leaves the window's bitmaps out (the command line's resources).
# Nothing happens on other systems. Included at the top, as the RC language must be enabled
# there.
if(WIN32)
  enable_language(RC)
endif()
set(VELLOX_WIN32_RESOURCE_SOURCE ${CMAKE_CURRENT_LIST_DIR}/../ui/win32/vellox.rc.in)

function(vellox_win32_resources target original_filename)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(PARSE_ARGV 2 arg "ICON_ONLY" "" "")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "vellox_win32_resources: unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(arg_ICON_ONLY)
    set(VELLOX_RC_BITMAPS 0)
  else()
    set(VELLOX_RC_BITMAPS 1)
  endif()
  get_filename_component(VELLOX_RC_WIN32_DIR ${VELLOX_WIN32_RESOURCE_SOURCE} DIRECTORY)
  get_filename_component(VELLOX_RC_ARTWORK_DIR ${VELLOX_RC_WIN32_DIR}/../../artwork ABSOLUTE)
  set(VELLOX_RC_INTERNAL_NAME ${target})
  set(VELLOX_RC_ORIGINAL_FILENAME ${original_filename})
  string(SUBSTRING "${VELLOX_RELEASE_DATE}" 0 4 VELLOX_RC_YEAR)
  # Four numbers: major, minor, patch and 0.
  set(parts)
  foreach(part MAJOR MINOR PATCH)
    if("${PROJECT_VERSION_${part}}" STREQUAL "")
      list(APPEND parts 0)
    else()
      list(APPEND parts ${PROJECT_VERSION_${part}})
    endif()
  endforeach()
  list(APPEND parts 0)
  string(JOIN "," VELLOX_RC_VERSION_COMMAS ${parts})

  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${VELLOX_WIN32_RESOURCE_SOURCE} ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  # windres reports no dependencies: name the files the script pulls in.
  set_source_files_properties(${rc} TARGET_DIRECTORY ${target} PROPERTIES OBJECT_DEPENDS
    "${VELLOX_RC_WIN32_DIR}/Resources.h;${VELLOX_RC_WIN32_DIR}/vellox.manifest;${VELLOX_RC_ARTWORK_DIR}/icon.ico;${VELLOX_RC_ARTWORK_DIR}/banner.bmp;${VELLOX_RC_ARTWORK_DIR}/write.bmp;${VELLOX_RC_ARTWORK_DIR}/query.bmp;${VELLOX_RC_ARTWORK_DIR}/read.bmp")
endfunction()
