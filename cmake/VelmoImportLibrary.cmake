# velmo_import_library(<target> <dll name> <def file>): an import library made
# from a list of exports, so the host links against a DLL's interface rather
# than against any particular build of that DLL.
function(velmo_import_library target dll_name def_file)
  set(out "${CMAKE_CURRENT_BINARY_DIR}/lib${target}.dll.a")
  add_custom_command(
    OUTPUT "${out}"
    COMMAND ${CMAKE_DLLTOOL} -d "${def_file}" -D ${dll_name} -l "${out}"
    DEPENDS "${def_file}"
    COMMENT "Import library for ${dll_name}")
  add_custom_target(${target}_import DEPENDS "${out}")
  add_library(${target} INTERFACE)
  add_dependencies(${target} ${target}_import)
  target_link_libraries(${target} INTERFACE "${out}")
endfunction()
