# velmo_import_library(<target> <dll name> <def file>): an import library made
# from a list of exports, so the host links against a DLL's interface rather
# than against any particular build of that DLL.
function(velmo_import_library target dll_name def_file)
  if(MSVC)
    # lib.exe takes the DLL's name from the LIBRARY line of the list.
    set(out "${CMAKE_CURRENT_BINARY_DIR}/${target}.lib")
    set(make_import "${CMAKE_AR}" /nologo /machine:x64 "/def:${def_file}" "/out:${out}")
  else()
    set(out "${CMAKE_CURRENT_BINARY_DIR}/lib${target}.dll.a")
    set(make_import ${CMAKE_DLLTOOL} -d "${def_file}" -D ${dll_name} -l "${out}")
  endif()
  add_custom_command(
    OUTPUT "${out}"
    COMMAND ${make_import}
    DEPENDS "${def_file}"
    COMMENT "Import library for ${dll_name}")
  add_custom_target(${target}_import DEPENDS "${out}")
  add_library(${target} INTERFACE)
  add_dependencies(${target} ${target}_import)
  target_link_libraries(${target} INTERFACE "${out}")
endfunction()
