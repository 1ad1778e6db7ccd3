# The project's one version number (project() in the top CMakeLists.txt),
# stamped into the version resource of every binary that ships.

set(HRX_VERSION_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/version.rc.in)
set(HRX_MANIFEST_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/application.manifest.in)

# hrx_version_resource(TARGET DESCRIPTION [MANIFEST])
# Gives the program or DLL its version resource: the project's version, the
# product's name, maker and copyright (app/product.h) and its own
# description and file name.  MANIFEST adds the application manifest of a
# program.
function(hrx_version_resource target description)
  cmake_parse_arguments(V "MANIFEST" "" "" ${ARGN})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(file_name ${target}.exe)
    set(file_type VFT_APP)
  else()
    set(file_name ${target}.dll)
    set(file_type VFT_DLL)
  endif()
  set(file_description ${description})
  set(version_dotted ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
  string(REPLACE "." "," version_numbers ${version_dotted})
  set(dir ${CMAKE_BINARY_DIR}/version)
  set(manifest_resource "")
  if(V_MANIFEST)
    set(manifest_name "CallowaySoftware.Halcyra.${target}")
    configure_file(${HRX_MANIFEST_TEMPLATE} ${dir}/${target}.manifest @ONLY)
    set(manifest_resource "CREATEPROCESS_MANIFEST_RESOURCE_ID RT_MANIFEST \"${dir}/${target}.manifest\"")
  endif()
  configure_file(${HRX_VERSION_TEMPLATE} ${dir}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${dir}/${target}.rc)
  if(V_MANIFEST)
    set_source_files_properties(${dir}/${target}.rc PROPERTIES OBJECT_DEPENDS ${dir}/${target}.manifest)
  endif()
endfunction()
