# kor_add_plugin_module(<name> <entry-point source> <core library>)
# A plug-in module named exactly <name> (no "lib" prefix) with the platform's module
# extension, placed beside the korloader library (which finds it there) and installed
# beside it. Only the entry points leave the module: the static support code and the
# core stay private, and every symbol must resolve when the module is linked.
function(kor_add_plugin_module name source core)
    add_library(${name} MODULE ${source})
    target_link_libraries(${name} PRIVATE ${core} kor_warnings)
    set_target_properties(${name} PROPERTIES
        PREFIX ""
        LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/loader)
    kor_keep_static_layers_private(${name})
    kor_resolve_at_link(${name})
    if(KORLOADER_INSTALL)
        include(GNUInstallDirs)
        install(TARGETS ${name} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
    endif()
endfunction()
