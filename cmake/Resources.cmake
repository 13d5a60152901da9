# Files the module reads at run time from its own folder (App_Path): the
# toolbar's button pictures, the help pages and the report layouts. Each
# program that loads the module, tests included, gets a copy next to its binary.
include_guard(GLOBAL)

# Cached, so that a call from any directory scope finds the files.
get_filename_component(_erp_root ${CMAKE_CURRENT_LIST_DIR}/../schema ABSOLUTE)
set(ERP_RESOURCE_ROOT ${_erp_root} CACHE INTERNAL "Folder holding the run-time resources")

# erp_copy_resources(TARGET): Picture/Button_Pic, help and report next to TARGET's file.
function(erp_copy_resources target)
  file(GLOB pictures CONFIGURE_DEPENDS ${ERP_RESOURCE_ROOT}/pictures/Button_Pic/*.bmp)
  file(GLOB_RECURSE pages CONFIGURE_DEPENDS ${ERP_RESOURCE_ROOT}/help/*)
  file(GLOB layouts CONFIGURE_DEPENDS ${ERP_RESOURCE_ROOT}/report/*.layout)
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.stamp)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -E make_directory $<TARGET_FILE_DIR:${target}>/Picture/Button_Pic
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${ERP_RESOURCE_ROOT}/pictures/Button_Pic
            $<TARGET_FILE_DIR:${target}>/Picture/Button_Pic
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${ERP_RESOURCE_ROOT}/help $<TARGET_FILE_DIR:${target}>/help
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${ERP_RESOURCE_ROOT}/report $<TARGET_FILE_DIR:${target}>/report
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${pictures} ${pages} ${layouts}
    COMMENT "Copying button pictures, help pages and report layouts for ${target}"
    VERBATIM)
  add_custom_target(${target}_resources DEPENDS ${stamp})
  add_dependencies(${target} ${target}_resources)
endfunction()

# The module library and the host are defined elsewhere in the tree; attach
# once every directory has been read, whatever the order of inclusion.
function(_erp_copy_module_resources)
  foreach(t barmanubill erp-host)
    if(TARGET ${t} AND NOT TARGET ${t}_resources)
      erp_copy_resources(${t})
    endif()
  endforeach()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL _erp_copy_module_resources)
