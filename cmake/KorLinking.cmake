# Link options that only GNU-style ELF linkers (ld.bfd, gold, lld) understand, and what is
# built on them. Windows and macOS builds go without.
set(KOR_GNU_LINKER OFF)
if(UNIX AND NOT APPLE)
    set(KOR_GNU_LINKER ON)
endif()

# Modules and layer checks resolve every symbol when they are linked, except under a clang
# sanitizer: its runtime lives only in the executable that loads them.
set(KOR_RESOLVE_AT_LINK ${KOR_GNU_LINKER})
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang" AND CMAKE_CXX_FLAGS MATCHES "-fsanitize=")
    set(KOR_RESOLVE_AT_LINK OFF)
endif()

# kor_resolve_at_link(<target>)
function(kor_resolve_at_link target)
    if(KOR_RESOLVE_AT_LINK)
        target_link_options(${target} PRIVATE LINKER:--no-undefined)
    endif()
endfunction()

# kor_keep_static_layers_private(<target> [<static library>...])
# The static code linked into a shared library or module stays out of its symbol table:
# all of it, or that of the libraries named.
function(kor_keep_static_layers_private target)
    if(NOT KOR_GNU_LINKER)
        return()
    endif()
    set(excluded ALL)
    if(ARGN)
        set(names "")
        foreach(library ${ARGN})
            list(APPEND names "$<TARGET_FILE_NAME:${library}>")
        endforeach()
        list(JOIN names ":" excluded)
    endif()
    target_link_options(${target} PRIVATE "LINKER:--exclude-libs,${excluded}")
endfunction()

# kor_use_old_style_rpath(<target>)
# The run path of an executable that loads modules by bare file name (or runs the library
# that does) must be an RPATH: a RUNPATH does not apply when a sanitizer runtime makes the
# dlopen call.
function(kor_use_old_style_rpath target)
    if(KOR_GNU_LINKER)
        target_link_options(${target} PRIVATE LINKER:--disable-new-dtags)
    endif()
endfunction()

# kor_load_modules_from(<target> <directory>)
# An executable that loads modules by bare file name finds them in directory.
function(kor_load_modules_from target directory)
    set_target_properties(${target} PROPERTIES BUILD_RPATH ${directory})
    kor_use_old_style_rpath(${target})
endfunction()

# kor_defines_public_functions(<layer>)
# A static layer that defines functions of the public headers compiles them as exported.
# On Windows whatever links the layer itself (tests, tools) must see them that way too:
# declared as imports, they would be looked for in korloader.dll's import library.
function(kor_defines_public_functions layer)
    if(WIN32)
        target_compile_definitions(${layer} PUBLIC KORLOADER_BUILDING)
    else()
        target_compile_definitions(${layer} PRIVATE KORLOADER_BUILDING)
    endif()
endfunction()

# kor_check_layer(<layer>)
# Links every object of a static layer, with only the layers it links below it, into a
# module that must resolve every symbol. A call into a layer above or beside it then fails
# the build even where no test happens to pull in the object that makes it.
function(kor_check_layer layer)
    if(NOT KOR_RESOLVE_AT_LINK)
        return()
    endif()
    set(source ${PROJECT_BINARY_DIR}/LayerCheck.cpp)
    if(NOT EXISTS ${source})
        file(WRITE ${source} "// The layer checks link their layer's objects and nothing else.\n")
    endif()
    add_library(${layer}_check MODULE ${source})
    target_link_libraries(${layer}_check PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${layer}>")
    kor_resolve_at_link(${layer}_check)
endfunction()
